#pragma once

#include <string>

namespace velmor::media {

// The speech manager: which speech provider is active and how it speaks.
class TTSManager {
public:
    // The voice used when a request names none: the active provider's default, or
    // "brian" while no provider is active.
    std::string defaultVoice() const;
};

}  // namespace velmor::media
