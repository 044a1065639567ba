#pragma once

#include "base/guarded.h"

#include <wayland-client.h>

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace velmor::platform {

// One output of the compositor's layout, in layout coordinates (scale ignored: the headless
// and most desktop outputs use 1).
struct WaylandOutput {
    wl_output* output = nullptr;
    int x = 0, y = 0, width = 0, height = 0;
};

// The connection as its owner thread sees it: the display, the globals the compositor
// announced, the seat, shared memory and the outputs. Only code running inside
// WaylandClient::run touches it.
class WaylandConnection {
public:
    wl_display* display = nullptr;
    wl_registry* registry = nullptr;
    wl_seat* seat = nullptr;
    wl_shm* shm = nullptr;
    std::vector<WaylandOutput> outputs;
    struct Global {
        std::string interface;
        uint32_t version = 0;
    };
    std::map<uint32_t, Global> globals;  // by name

    // Binds the compositor's global of `interface` at most at `version`; null when it offers none.
    void* bind(const wl_interface* interface, uint32_t version);
    bool offers(const char* interface) const;
    // Sends what is queued and waits until the compositor has answered everything before it,
    // dispatching events meanwhile; false after `timeoutMs` or when the connection broke.
    bool roundtrip(int timeoutMs = 2000);
    // Dispatches events until `done()` holds; false after `timeoutMs` or a broken connection.
    bool dispatchUntil(const std::function<bool()>& done, int timeoutMs);
    // The smallest rectangle holding every output.
    std::optional<WaylandOutput> layout() const;
};

// The process's own Wayland connection. libwayland's proxies are not meant to be shared
// between threads, and the clipboard must answer other clients whenever they paste, so one
// thread owns the wl_display: it dispatches events all the time and runs the work that
// other threads hand it through run(), one piece at a time.
class WaylandClient {
public:
    WaylandClient();
    ~WaylandClient();
    WaylandClient(const WaylandClient&) = delete;
    WaylandClient& operator=(const WaylandClient&) = delete;

    // Why there is no connection; nothing when there is one.
    std::optional<std::string> unavailable();
    // Runs `work` on the owner thread and waits until it has run. Without a connection `work`
    // does not run and the reason is given back.
    std::optional<std::string> run(const std::function<void(WaylandConnection&)>& work);

private:
    void serve();
    void runQueued();

    struct State {
        std::deque<std::function<void(WaylandConnection&)>> queue;
        bool started = false, connected = false, stopping = false;
        std::optional<std::string> failure;
    };

    Guarded<State> state_;
    std::condition_variable changed_;
    int wakeFd_ = -1;               // set with state_.started, before thread_ starts
    WaylandConnection connection_;  // owned by thread_
    std::thread thread_;
};

}  // namespace velmor::platform
