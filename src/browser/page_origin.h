#pragma once

#include <string>

namespace velmor::browser {

// The origin a browser names in the Origin header of requests made from a page at `url`:
// scheme "://" host [":" port] for web pages (letter case of scheme and host folded, default
// ports left out), "file://" for local files, "null" for pages without an origin of their own
// (about:, data:, ...).
std::string pageOrigin(const std::string& url);

}  // namespace velmor::browser
