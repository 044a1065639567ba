#pragma once

#include "base/call_context.h"

#include <functional>
#include <nlohmann/json.hpp>
#include <string>

namespace velmor::mcp {

// Turns one call's progress reports into notifications/progress with the client's
// `progressToken`, handed to `notify` as compact JSON text. A report that does not go beyond
// the last one sent is dropped, as are reports closer together than a client cares to hear
// (a quarter of a second); the first report and the one that reaches the total always go.
CallContext::ProgressSink progressNotifier(nlohmann::json progressToken,
                                           std::function<void(const std::string& notification)> notify);

}  // namespace velmor::mcp
