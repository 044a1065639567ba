#pragma once

namespace velmor::media {
class TTSManager;
}

namespace velmor::tools {

// The process's speech manager, built with the router's tools and shared with the desktop
// shell's settings window.
media::TTSManager& sharedSpeech();

}  // namespace velmor::tools
