#include "platform/linux/wayland_client.h"

#include "base/log.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <future>

namespace velmor::platform {

namespace {

using Clock = std::chrono::steady_clock;

void onGlobal(void* data, wl_registry*, uint32_t name, const char* interface, uint32_t version) {
    static_cast<WaylandConnection*>(data)->globals[name] = {interface, version};
}
void onGlobalRemove(void* data, wl_registry*, uint32_t name) { static_cast<WaylandConnection*>(data)->globals.erase(name); }
const wl_registry_listener kRegistryListener{onGlobal, onGlobalRemove};

WaylandOutput* outputOf(void* data, wl_output* output) {
    auto& outputs = static_cast<WaylandConnection*>(data)->outputs;
    auto found = std::find_if(outputs.begin(), outputs.end(), [&](const WaylandOutput& o) { return o.output == output; });
    return found == outputs.end() ? nullptr : &*found;
}
void onGeometry(void* data, wl_output* output, int32_t x, int32_t y, int32_t, int32_t, int32_t, const char*, const char*,
                int32_t) {
    if (auto* o = outputOf(data, output)) o->x = x, o->y = y;
}
void onMode(void* data, wl_output* output, uint32_t flags, int32_t width, int32_t height, int32_t) {
    if (auto* o = outputOf(data, output); o && (flags & WL_OUTPUT_MODE_CURRENT)) o->width = width, o->height = height;
}
void onDone(void*, wl_output*) {}
void onScale(void*, wl_output*, int32_t) {}
const wl_output_listener kOutputListener{onGeometry, onMode, onDone, onScale};

// How long a client may take to answer before run() gives up on its work.
constexpr auto kWorkTimeout = std::chrono::seconds(30);

}  // namespace

void* WaylandConnection::bind(const wl_interface* interface, uint32_t version) {
    for (auto& [name, global] : globals) {
        if (global.interface == interface->name)
            return wl_registry_bind(registry, name, interface, std::min(version, global.version));
    }
    return nullptr;
}

bool WaylandConnection::offers(const char* interface) const {
    return std::any_of(globals.begin(), globals.end(), [&](const auto& g) { return g.second.interface == interface; });
}

bool WaylandConnection::dispatchUntil(const std::function<bool()>& done, int timeoutMs) {
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    while (true) {
        if (wl_display_dispatch_pending(display) < 0) return false;
        if (done()) return true;
        if (wl_display_prepare_read(display) != 0) continue;
        wl_display_flush(display);
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
        pollfd fd{wl_display_get_fd(display), POLLIN, 0};
        if (left <= 0 || poll(&fd, 1, static_cast<int>(left)) <= 0) {
            wl_display_cancel_read(display);
            return false;
        }
        if (wl_display_read_events(display) < 0) return false;
    }
}

bool WaylandConnection::roundtrip(int timeoutMs) {
    bool answered = false;
    static const wl_callback_listener listener{[](void* data, wl_callback*, uint32_t) { *static_cast<bool*>(data) = true; }};
    wl_callback* callback = wl_display_sync(display);
    wl_callback_add_listener(callback, &listener, &answered);
    bool ok = dispatchUntil([&] { return answered; }, timeoutMs);
    wl_callback_destroy(callback);
    return ok;
}

std::optional<WaylandOutput> WaylandConnection::layout() const {
    std::optional<WaylandOutput> box;
    for (const auto& o : outputs) {
        if (o.width <= 0 || o.height <= 0) continue;
        if (!box) {
            box = o;
            continue;
        }
        int right = std::max(box->x + box->width, o.x + o.width), bottom = std::max(box->y + box->height, o.y + o.height);
        box->x = std::min(box->x, o.x), box->y = std::min(box->y, o.y);
        box->width = right - box->x, box->height = bottom - box->y;
    }
    return box;
}

WaylandClient::WaylandClient() = default;

WaylandClient::~WaylandClient() {
    state_.withLocked([](State& state) { state.stopping = true; });
    if (wakeFd_ >= 0) {
        uint64_t one = 1;
        (void)!write(wakeFd_, &one, sizeof one);
    }
    if (thread_.joinable()) thread_.join();
    if (wakeFd_ >= 0) close(wakeFd_);
}

std::optional<std::string> WaylandClient::unavailable() {
    return run([](WaylandConnection&) {});
}

std::optional<std::string> WaylandClient::run(const std::function<void(WaylandConnection&)>& work) {
    state_.withLocked([this](State& state) {
        if (state.started) return;
        state.started = true;
        wakeFd_ = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
        thread_ = std::thread([this] { serve(); });
    });
    auto done = std::make_shared<std::promise<void>>();
    std::future<void> finished = done->get_future();
    auto failure = state_.withLockedWhen(
        changed_, [](const State& state) { return state.connected || state.failure; },
        [&](State& state) {
            if (!state.failure)
                state.queue.push_back([&work, done](WaylandConnection& connection) {
                    work(connection);
                    done->set_value();
                });
            return state.failure;
        });
    if (failure) return failure;
    uint64_t one = 1;
    (void)!write(wakeFd_, &one, sizeof one);
    if (finished.wait_for(kWorkTimeout) != std::future_status::ready) {
        // Every wait on the owner thread has its own, shorter bound, so this means a fault in
        // this process. The work still refers to the caller's frame: going on is not safe.
        Log::error("wayland", "the Wayland connection's thread is stuck");
        std::abort();
    }
    return std::nullopt;
}

void WaylandClient::runQueued() {
    while (true) {
        auto work = state_.withLocked([](State& state) {
            std::function<void(WaylandConnection&)> first;
            if (!state.queue.empty()) {
                first = std::move(state.queue.front());
                state.queue.pop_front();
            }
            return first;
        });
        if (!work) return;
        work(connection_);
    }
}

void WaylandClient::serve() {
    auto& c = connection_;
    wl_display* display = wl_display_connect(nullptr);
    std::string reason;
    if (!display) {
        const char* name = std::getenv("WAYLAND_DISPLAY");
        reason = std::string("cannot connect to the Wayland compositor (WAYLAND_DISPLAY=") + (name ? name : "") +
                 "): " + std::strerror(errno);
    } else {
        c.display = display;
        c.registry = wl_display_get_registry(display);
        wl_registry_add_listener(c.registry, &kRegistryListener, &c);
        if (!c.roundtrip()) reason = "the Wayland compositor does not answer";
    }
    if (reason.empty()) {
        c.seat = static_cast<wl_seat*>(c.bind(&wl_seat_interface, 1));
        c.shm = static_cast<wl_shm*>(c.bind(&wl_shm_interface, 1));
        for (auto& [name, global] : c.globals) {
            if (global.interface != wl_output_interface.name) continue;
            auto* output = static_cast<wl_output*>(wl_registry_bind(c.registry, name, &wl_output_interface, 2));
            c.outputs.push_back({output});
            wl_output_add_listener(output, &kOutputListener, &c);
        }
        if (!c.roundtrip()) reason = "the Wayland compositor does not answer";
    }
    state_.withLocked([&](State& state) {
        if (!reason.empty()) {
            state.failure = reason;
            if (display) wl_display_disconnect(display);
            c.display = nullptr;
        } else {
            state.connected = true;
        }
    });
    changed_.notify_all();
    if (!reason.empty()) return;

    std::string names;
    for (auto& [name, global] : c.globals) names += (names.empty() ? "" : " ") + global.interface;
    Log::info("wayland", "Connected; the compositor offers: " + names);

    while (true) {
        bool stopping = state_.withLocked([](State& state) {
            if (state.stopping) state.failure = "the Wayland connection is closing";
            return state.stopping;
        });
        if (stopping) break;
        runQueued();
        while (wl_display_prepare_read(display) != 0) wl_display_dispatch_pending(display);
        wl_display_flush(display);
        pollfd fds[2] = {{wl_display_get_fd(display), POLLIN, 0}, {wakeFd_, POLLIN, 0}};
        int ready = poll(fds, 2, -1);
        if (ready > 0 && (fds[0].revents & POLLIN)) {
            wl_display_read_events(display);
        } else {
            wl_display_cancel_read(display);
        }
        if (fds[0].revents & (POLLERR | POLLHUP)) {
            state_.withLocked([](State& state) { state.failure = "the Wayland compositor closed the connection"; });
            break;
        }
        if (fds[1].revents & POLLIN) {
            uint64_t count;
            (void)!read(wakeFd_, &count, sizeof count);
        }
        wl_display_dispatch_pending(display);
    }
    // Work handed over before the failure was set still runs, against the broken connection.
    runQueued();
}

}  // namespace velmor::platform
