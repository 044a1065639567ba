#pragma once

#include "base/result.h"

#include <string>

namespace velmor::platform {

// Why a read failed when the application holding the clipboard was asked for its text and
// gave none in the time allowed.
inline constexpr const char* kClipboardNotHandedOver =
    "the application that holds the clipboard did not hand over its text";

// The desktop's clipboard, for text in UTF-8.
class Clipboard {
public:
    virtual ~Clipboard() = default;

    // The clipboard's text; empty when it holds none. Fails, saying why, when it could not be
    // read (an application that holds the clipboard and does not hand its text over is not an
    // empty clipboard).
    virtual Result<std::string> text() = 0;
    // Puts text on the clipboard. It stays there for every application after this returns,
    // until something else is copied. Fails, saying why, when the text could not be put there.
    virtual Result<void> setText(const std::string& text) = 0;
};

}  // namespace velmor::platform
