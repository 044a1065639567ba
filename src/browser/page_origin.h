#pragma once

#include <string>

namespace velmor::browser {

// The origin a browser names in the Origin header of requests made from a page at `url`:
// scheme "://" host [":" port] for web pages (letter case of scheme and host folded, default
// ports left out), "file://" for local files, "null" for pages without an origin of their own
// (about:, data:, ...).
std::string pageOrigin(const std::string& url);

// Where a link to `reference` on the page at `base` leads, as the page would resolve it: a
// full URL as it is, "//host/x", "/x", "?q", "#f" and relative paths (with "." and "..")
// against the base. `base` is a full URL with an authority (http, https, file).
std::string resolvedUrl(const std::string& base, const std::string& reference);

}  // namespace velmor::browser
