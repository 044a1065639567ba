#pragma once

#include "platform/input.h"
#include "platform/linux/remote_desktop.h"

#include <cstdint>
#include <vector>

namespace velmor::platform {

// Keyboard and pointer events through mutter's remote desktop session (directly or through the
// desktop portal): keys by key symbol
// (mutter finds the key in the user's layout and holds Shift or AltGr where its level needs
// it), the pointer at absolute places on the session's monitor stream. Characters the layout
// has no key for are entered by their code point (Ctrl+Shift+U, the hex digits, space), as
// GTK's and IBus's input methods take them. The events of one key press, or of one
// character, go to mutter together.
class MutterInput final : public Input {
public:
    explicit MutterInput(RemoteDesktop& session) : session_(session) {}

    Result<void> typeCharacters(const std::vector<std::u32string>& characters,
                                const std::function<bool()>& stillAimed) override;
    Result<void> pressKey(const Key& key, const Modifiers& modifiers) override;
    Result<void> movePointer(int x, int y) override;
    Result<void> setButton(MouseButton button, bool down) override;
    Result<void> scroll(int deltaY, int deltaX) override;

private:
    using Events = std::vector<InputEvent>;
    // Adds the events that press and release the key of `symbol` with the modifiers held.
    static void strike(Events& events, uint32_t symbol, const Modifiers& modifiers);
    // Adds the events that type `c` however the layout lets it be typed; false when no key
    // symbol stands for it.
    static bool type(Events& events, char32_t c);

    RemoteDesktop& session_;
};

}  // namespace velmor::platform
