#pragma once

#include "base/result.h"

#include <string>

namespace velmor::shortcuts {

// The body of an http:// or https:// URL, following up to five redirects, within 30 s and
// 16 MiB. A status of 400 or more is a failure.
Result<std::string> fetchUrl(const std::string& url);

}  // namespace velmor::shortcuts
