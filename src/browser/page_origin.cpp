#include "browser/page_origin.h"

#include "base/text.h"

#include <algorithm>
#include <cctype>

namespace velmor::browser {

namespace {

}  // namespace

std::string pageOrigin(const std::string& url) {
    auto colon = url.find("://");
    if (colon == std::string::npos) return "null";
    std::string scheme = lowerAscii(url.substr(0, colon));
    if (scheme == "file") return "file://";
    if (scheme != "http" && scheme != "https") return "null";
    size_t start = colon + 3;
    std::string authority = url.substr(start, url.find_first_of("/?#", start) - start);
    if (auto at = authority.rfind('@'); at != std::string::npos) authority.erase(0, at + 1);
    authority = lowerAscii(authority);
    std::string defaultPort = scheme == "http" ? ":80" : ":443";
    if (authority.ends_with(defaultPort)) authority.resize(authority.size() - defaultPort.size());
    return scheme + "://" + authority;
}

}  // namespace velmor::browser
