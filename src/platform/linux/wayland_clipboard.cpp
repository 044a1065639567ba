#include "platform/linux/wayland_clipboard.h"

#include "platform/linux/pipe_transfer.h"
#include "wlr-data-control-unstable-v1-client-protocol.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace velmor::platform {

namespace {

const char* const kNoDataControl =
    "this Wayland compositor offers no clipboard access; the clipboard needs a compositor with the wlr "
    "data-control protocol (zwlr_data_control_manager_v1)";
// Text types in the order they are asked for; all of them are offered.
const char* const kTextTypes[] = {"text/plain;charset=utf-8", "text/plain", "UTF8_STRING", "STRING", "TEXT"};

WaylandClipboard* self(void* data) { return static_cast<WaylandClipboard*>(data); }

const zwlr_data_control_offer_v1_listener kOfferListener{
    .offer = [](void* data, zwlr_data_control_offer_v1* offer, const char* type) { self(data)->offerHas(offer, type); },
};
const zwlr_data_control_device_v1_listener kDeviceListener{
    .data_offer = [](void* data, zwlr_data_control_device_v1*, zwlr_data_control_offer_v1* offer) {
        self(data)->offered(offer);
    },
    .selection = [](void* data, zwlr_data_control_device_v1*, zwlr_data_control_offer_v1* offer) {
        self(data)->selected(offer);
    },
    .finished = [](void*, zwlr_data_control_device_v1*) {},
};
const zwlr_data_control_source_v1_listener kSourceListener{
    .send = [](void* data, zwlr_data_control_source_v1* source, const char*, int32_t fd) { self(data)->send(source, fd); },
    .cancelled = [](void* data, zwlr_data_control_source_v1* source) { self(data)->cancelled(source); },
};

}  // namespace

void WaylandClipboard::offered(zwlr_data_control_offer_v1* offer) {
    offers_.push_back({offer, {}});
    zwlr_data_control_offer_v1_add_listener(offer, &kOfferListener, this);
}

void WaylandClipboard::offerHas(zwlr_data_control_offer_v1* offer, const char* mimeType) {
    for (auto& o : offers_)
        if (o.offer == offer && o.types.size() < 64) o.types.emplace_back(mimeType);
}

void WaylandClipboard::selected(zwlr_data_control_offer_v1* offer) {
    // Earlier offers are finished with; so is the primary selection's, which is not used.
    for (auto it = offers_.begin(); it != offers_.end();) {
        if (it->offer != offer) {
            zwlr_data_control_offer_v1_destroy(it->offer);
            it = offers_.erase(it);
        } else {
            ++it;
        }
    }
    selection_ = offer;
}

void WaylandClipboard::send(zwlr_data_control_source_v1* source, int fd) {
    // The reader is another client: a slow or stuck one gets what fits in the time given.
    if (source == source_) writeAll(fd, sourceText_);
    close(fd);
}

void WaylandClipboard::cancelled(zwlr_data_control_source_v1* source) {
    zwlr_data_control_source_v1_destroy(source);
    if (source == source_) source_ = nullptr, sourceText_.clear();
}

bool WaylandClipboard::ready(WaylandConnection& c, std::string& why) {
    if (device_) return true;
    auto* manager = static_cast<zwlr_data_control_manager_v1*>(c.bind(&zwlr_data_control_manager_v1_interface, 1));
    if (!manager) return why = kNoDataControl, false;
    if (!c.seat) return why = "this Wayland compositor offers no seat", false;
    device_ = zwlr_data_control_manager_v1_get_data_device(manager, c.seat);
    zwlr_data_control_device_v1_add_listener(device_, &kDeviceListener, this);
    managerOf_ = manager;  // kept for the sources made later
    c.roundtrip();  // the current selection arrives at once
    return true;
}

Result<std::string> WaylandClipboard::text() {
    Result<std::string> text = std::string();
    auto reason = wayland_.run([&](WaylandConnection& c) {
        std::string why;
        if (!ready(c, why)) return void(text = fail(why));
        c.roundtrip();
        if (source_) return void(text = sourceText_);  // asking ourselves would wait on this very thread
        auto offer = std::find_if(offers_.begin(), offers_.end(), [&](const Offer& o) { return o.offer == selection_; });
        if (!selection_ || offer == offers_.end()) return;
        const char* type = nullptr;
        for (const char* wanted : kTextTypes)
            if (!type && std::find(offer->types.begin(), offer->types.end(), wanted) != offer->types.end()) type = wanted;
        if (!type) return;
        int fds[2];
        if (pipe2(fds, O_CLOEXEC | O_NONBLOCK) != 0)
            return void(text = fail(std::string("no pipe for the clipboard's text: ") + std::strerror(errno)));
        zwlr_data_control_offer_v1_receive(selection_, type, fds[1]);
        close(fds[1]);
        wl_display_flush(c.display);
        text = readAll(fds[0]);
        close(fds[0]);
    });
    if (reason) return fail(*reason);
    return text;
}

Result<void> WaylandClipboard::setText(const std::string& text) {
    std::string why;
    auto reason = wayland_.run([&](WaylandConnection& c) {
        if (!ready(c, why)) return;
        auto* source = zwlr_data_control_manager_v1_create_data_source(managerOf_);
        zwlr_data_control_source_v1_add_listener(source, &kSourceListener, this);
        for (const char* type : kTextTypes) zwlr_data_control_source_v1_offer(source, type);
        zwlr_data_control_device_v1_set_selection(device_, source);
        if (source_) zwlr_data_control_source_v1_destroy(source_);
        source_ = source;
        sourceText_ = text;
        if (!c.roundtrip()) why = "the Wayland compositor did not take the clipboard";
    });
    if (reason) return fail(*reason);
    if (!why.empty()) return fail(why);
    return succeeded();
}

}  // namespace velmor::platform
