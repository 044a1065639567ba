#pragma once

#include "base/result.h"
#include "platform/linux/wayland_client.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

struct zwlr_foreign_toplevel_manager_v1;

namespace velmor::platform {

inline constexpr const char* kNoForeignToplevels =
    "this Wayland compositor tells clients of no windows; the window tools need sway's IPC (SWAYSOCK) or a "
    "compositor with the wlr foreign-toplevel protocol (zwlr_foreign_toplevel_manager_v1)";

// A toplevel window as a wlroots compositor announces it to other clients: no process and no
// place, only its title, app id and state.
struct Toplevel {
    uint64_t id = 0;  // Velmor's own number; grows with each new window
    std::string title, appId;
    bool activated = false, minimized = false;
};

// Every client's toplevel windows, followed through zwlr_foreign_toplevel_manager_v1 from the
// first question on. The handles and their state belong to the Wayland connection's owner
// thread: the compositor's events update them there whenever they come, and the questions
// below read them through WaylandClient::run.
class ForeignToplevels {
public:
    explicit ForeignToplevels(WaylandClient& wayland);
    ~ForeignToplevels();
    ForeignToplevels(const ForeignToplevels&) = delete;
    ForeignToplevels& operator=(const ForeignToplevels&) = delete;

    // The open toplevels, oldest first, as the compositor last described them.
    Result<std::vector<Toplevel>> list();
    // Asks the compositor to raise the window and give it the keyboard focus.
    Result<void> activate(uint64_t id);

    struct Handle;  // one toplevel's proxy and what the compositor said of it

private:
    // Binds the manager on first use and waits until the existing windows are described
    // (owner thread); false without the protocol.
    bool follow(WaylandConnection& c);

    WaylandClient& wayland_;
    // Owner thread only:
    zwlr_foreign_toplevel_manager_v1* manager_ = nullptr;
    std::vector<std::unique_ptr<Handle>> handles_;
    uint64_t nextId_ = 1;
    bool bound_ = false;
};

}  // namespace velmor::platform
