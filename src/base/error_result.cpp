#include "base/error_result.h"

namespace velmor {

nlohmann::json errorResult(const std::string& message) { return {{"error", message}}; }

}  // namespace velmor
