#pragma once

#include "platform/input.h"
#include "platform/linux/wayland_client.h"

#include <cstdint>
#include <vector>

struct zwp_virtual_keyboard_v1;
struct zwlr_virtual_pointer_v1;

namespace velmor::platform {

// Keyboard and pointer events through a virtual keyboard (zwp_virtual_keyboard_v1) and a
// virtual pointer (zwlr_virtual_pointer_v1) on the process's Wayland connection. The
// keyboard's keymap is Velmor's own: the modifiers, the named keys, printable ASCII and each
// other key symbol typed so far have a key of their own, so any character can be typed
// without borrowing keys of a user's layout. A keymap that needs more keys comes with a new
// keyboard. Its state lives on
// the connection's owner thread and is only touched inside WaylandClient::run.
class WaylandInput final : public Input {
public:
    explicit WaylandInput(WaylandClient& wayland) : wayland_(wayland) {}

    Result<void> typeCharacters(const std::vector<std::u32string>& characters,
                                const std::function<bool()>& stillAimed) override;
    Result<void> pressKey(const Key& key, const Modifiers& modifiers) override;
    Result<void> movePointer(int x, int y) override;
    Result<void> setButton(MouseButton button, bool down) override;
    Result<void> scroll(int deltaY, int deltaX) override;

private:
    // The keyboard with a key for each of `symbols` (owner thread); null with `why` set.
    zwp_virtual_keyboard_v1* keyboardWith(WaylandConnection& c, const std::vector<uint32_t>& symbols, std::string& why);
    zwlr_virtual_pointer_v1* pointer(WaylandConnection& c, std::string& why);
    // Presses and releases the key of `symbol` with the modifiers held (owner thread).
    void strike(uint32_t symbol, const Modifiers& modifiers);
    // Runs `work` on the owner thread; its failure text, or the connection's.
    Result<void> onConnection(const std::function<void(WaylandConnection&, std::string&)>& work);

    WaylandClient& wayland_;
    // Owner thread only:
    zwp_virtual_keyboard_v1* keyboard_ = nullptr;
    zwlr_virtual_pointer_v1* pointer_ = nullptr;
    std::vector<uint32_t> keySymbols_;  // key i has the evdev code i + 1
};

}  // namespace velmor::platform
