#pragma once

#include "browser/browser_session_manager.h"

#include <string>
#include <string_view>

namespace velmor::browser {

// Handles one frame that arrived on session `sessionId`'s connection: parses it and hands
// it to the registry. Frames that are not a JSON object with a string "type" are dropped
// without a word; a field of the wrong JSON type counts as missing.
void processPageMessage(std::string_view frame, const std::string& sessionId, BrowserSessionManager& sessions);

}  // namespace velmor::browser
