#pragma once

#include "base/result.h"

#include <string>

namespace velmor::platform {

// The desktop's clipboard, for text in UTF-8.
class Clipboard {
public:
    virtual ~Clipboard() = default;

    // The clipboard's text; empty when it holds none or cannot be read.
    virtual std::string text() = 0;
    // Puts text on the clipboard. It stays there for every application after this returns,
    // until something else is copied. Fails, saying why, when the text could not be put there.
    virtual Result<void> setText(const std::string& text) = 0;
};

}  // namespace velmor::platform
