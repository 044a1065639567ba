#pragma once

#include "automation/session_manager.h"

#include <string>

namespace velmor::bench {

// Starts (and ends) a session on the application named `appName` `samples` times and prints
// the times less the 0.3 s settle, with `label` and the number of tools the application offers.
void timeSessionStarts(automation::SessionManager& session, const std::string& appName, const std::string& label,
                       int samples);

}  // namespace velmor::bench
