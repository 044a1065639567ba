#include "platform/linux/foreign_toplevels.h"

#include "wlr-foreign-toplevel-management-unstable-v1-client-protocol.h"

#include <algorithm>

namespace velmor::platform {

struct ForeignToplevels::Handle {
    zwlr_foreign_toplevel_handle_v1* proxy = nullptr;
    Toplevel shown;
    bool described = false;  // the compositor has sent its first "done"
    bool closed = false;
};

namespace {

// A title or app id longer than this is cut: another client chooses them.
constexpr size_t kMaxText = 4096;

ForeignToplevels::Handle& handleOf(void* data) { return *static_cast<ForeignToplevels::Handle*>(data); }

void onTitle(void* data, zwlr_foreign_toplevel_handle_v1*, const char* title) {
    handleOf(data).shown.title = std::string(title).substr(0, kMaxText);
}
void onAppId(void* data, zwlr_foreign_toplevel_handle_v1*, const char* appId) {
    handleOf(data).shown.appId = std::string(appId).substr(0, kMaxText);
}
void onOutput(void*, zwlr_foreign_toplevel_handle_v1*, wl_output*) {}
void onState(void* data, zwlr_foreign_toplevel_handle_v1*, wl_array* states) {
    auto& shown = handleOf(data).shown;
    shown.activated = shown.minimized = false;
    const auto* state = static_cast<const uint32_t*>(states->data);
    for (size_t i = 0; i < states->size / sizeof(uint32_t); ++i) {
        if (state[i] == ZWLR_FOREIGN_TOPLEVEL_HANDLE_V1_STATE_ACTIVATED) shown.activated = true;
        if (state[i] == ZWLR_FOREIGN_TOPLEVEL_HANDLE_V1_STATE_MINIMIZED) shown.minimized = true;
    }
}
void onDone(void* data, zwlr_foreign_toplevel_handle_v1*) { handleOf(data).described = true; }
void onClosed(void* data, zwlr_foreign_toplevel_handle_v1*) { handleOf(data).closed = true; }
const zwlr_foreign_toplevel_handle_v1_listener kHandleListener{onTitle,  onAppId, onOutput, onOutput,
                                                               onState, onDone,  onClosed};

}  // namespace

ForeignToplevels::ForeignToplevels(WaylandClient& wayland) : wayland_(wayland) {}

ForeignToplevels::~ForeignToplevels() {
    if (!bound_) return;
    (void)wayland_.run([this](WaylandConnection& c) {
        for (auto& handle : handles_) zwlr_foreign_toplevel_handle_v1_destroy(handle->proxy);
        handles_.clear();
        if (!manager_) return;
        // Events still on their way to the proxy are dropped once it is destroyed: none
        // reaches this object after it has gone.
        zwlr_foreign_toplevel_manager_v1_stop(manager_);
        wl_proxy_destroy(reinterpret_cast<wl_proxy*>(manager_));
        wl_display_flush(c.display);
    });
}

bool ForeignToplevels::follow(WaylandConnection& c) {
    if (bound_) return manager_ != nullptr;
    bound_ = true;
    manager_ = static_cast<zwlr_foreign_toplevel_manager_v1*>(c.bind(&zwlr_foreign_toplevel_manager_v1_interface, 1));
    if (!manager_) return false;
    static const zwlr_foreign_toplevel_manager_v1_listener listener{
        [](void* data, zwlr_foreign_toplevel_manager_v1*, zwlr_foreign_toplevel_handle_v1* proxy) {
            auto* self = static_cast<ForeignToplevels*>(data);
            auto handle = std::make_unique<Handle>();
            handle->proxy = proxy;
            handle->shown.id = self->nextId_++;
            zwlr_foreign_toplevel_handle_v1_add_listener(proxy, &kHandleListener, handle.get());
            self->handles_.push_back(std::move(handle));
        },
        [](void*, zwlr_foreign_toplevel_manager_v1*) {}};
    zwlr_foreign_toplevel_manager_v1_add_listener(manager_, &listener, this);
    // The windows are announced at once and each described right after: two round trips.
    c.roundtrip();
    c.roundtrip();
    return true;
}

Result<std::vector<Toplevel>> ForeignToplevels::list() {
    std::vector<Toplevel> shown;
    bool followed = false;
    if (auto reason = wayland_.run([&](WaylandConnection& c) {
            if (!(followed = follow(c))) return;
            // Changes the compositor has sent but this thread not yet read count too.
            c.roundtrip();
            auto gone = std::remove_if(handles_.begin(), handles_.end(), [](const auto& handle) {
                if (handle->closed) zwlr_foreign_toplevel_handle_v1_destroy(handle->proxy);
                return handle->closed;
            });
            handles_.erase(gone, handles_.end());
            for (const auto& handle : handles_)
                if (handle->described) shown.push_back(handle->shown);
        }))
        return fail(*reason);
    if (!followed) return fail(kNoForeignToplevels);
    return shown;
}

Result<void> ForeignToplevels::activate(uint64_t id) {
    bool followed = false, found = false;
    if (auto reason = wayland_.run([&](WaylandConnection& c) {
            if (!(followed = follow(c))) return;
            for (auto& handle : handles_) {
                if (handle->shown.id != id || handle->closed) continue;
                found = true;
                if (handle->shown.minimized) zwlr_foreign_toplevel_handle_v1_unset_minimized(handle->proxy);
                zwlr_foreign_toplevel_handle_v1_activate(handle->proxy, c.seat);
                wl_display_flush(c.display);
            }
        }))
        return fail(*reason);
    if (!followed) return fail(kNoForeignToplevels);
    if (!found) return fail("the window is gone");
    return succeeded();
}

}  // namespace velmor::platform
