#pragma once

#include "platform/input.h"
#include "platform/linux/mutter_session.h"

#include <cstdint>

namespace velmor::platform {

// Keyboard and pointer events through mutter's remote desktop session: keys by key symbol
// (mutter finds the key in the user's layout and holds Shift or AltGr where its level needs
// it), the pointer at absolute places on the session's monitor stream. Characters the layout
// has no key for are entered by their code point (Ctrl+Shift+U, the hex digits, space), as
// GTK's and IBus's input methods take them.
class MutterInput final : public Input {
public:
    explicit MutterInput(MutterSession& session) : session_(session) {}

    Result<void> typeCharacters(const std::vector<std::u32string>& characters, std::chrono::milliseconds pace,
                                const std::function<bool()>& stillAimed) override;
    Result<void> pressKey(const Key& key, const Modifiers& modifiers) override;
    Result<void> movePointer(int x, int y) override;
    Result<void> setButton(MouseButton button, bool down) override;
    Result<void> scroll(int deltaY, int deltaX) override;

private:
    Result<void> key(uint32_t symbol, bool down);
    Result<void> strike(uint32_t symbol, const Modifiers& modifiers);
    Result<void> typeCodePoint(char32_t c);

    MutterSession& session_;
};

}  // namespace velmor::platform
