#include "browser/page_origin.h"

#include "base/text.h"

#include <algorithm>
#include <cctype>
#include <string>
#include <vector>

namespace velmor::browser {

namespace {

bool hasScheme(const std::string& reference) {
    auto colon = reference.find(':');
    if (colon == std::string::npos || colon == 0 || !std::isalpha(static_cast<unsigned char>(reference[0]))) return false;
    return std::all_of(reference.begin(), reference.begin() + colon, [](unsigned char c) {
        return std::isalnum(c) || c == '+' || c == '-' || c == '.';
    });
}

// "/a/./b/../c" -> "/a/c"
std::string withoutDotSegments(const std::string& path) {
    std::vector<std::string> kept;
    size_t start = 1;
    while (start <= path.size()) {
        size_t end = path.find('/', start);
        std::string segment = path.substr(start, end == std::string::npos ? std::string::npos : end - start);
        bool last = end == std::string::npos;
        if (segment == "..") {
            if (!kept.empty()) kept.pop_back();
            if (last) kept.emplace_back();
        } else if (segment == ".") {
            if (last) kept.emplace_back();
        } else {
            kept.push_back(segment);
        }
        if (last) break;
        start = end + 1;
    }
    std::string out;
    for (const auto& segment : kept) out += "/" + segment;
    return out.empty() ? "/" : out;
}

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

std::string resolvedUrl(const std::string& base, const std::string& reference) {
    if (hasScheme(reference)) return reference;
    auto colon = base.find("://");
    if (colon == std::string::npos) return reference;
    std::string scheme = base.substr(0, colon);
    size_t pathStart = base.find_first_of("/?#", colon + 3);
    std::string origin = base.substr(0, pathStart);
    std::string rest = pathStart == std::string::npos ? "/" : base.substr(pathStart);
    std::string withoutFragment = base.substr(0, base.find('#'));
    if (reference.empty()) return withoutFragment;
    if (reference.starts_with("//")) return scheme + ":" + reference;
    if (reference[0] == '#') return withoutFragment + reference;
    std::string path = rest.substr(0, rest.find_first_of("?#"));
    if (path.empty()) path = "/";
    if (reference[0] == '?') return origin + path + reference;
    size_t tail = reference.find_first_of("?#");
    std::string referencePath = reference.substr(0, tail);
    std::string suffix = tail == std::string::npos ? "" : reference.substr(tail);
    std::string merged = referencePath[0] == '/' ? referencePath : path.substr(0, path.rfind('/') + 1) + referencePath;
    return origin + withoutDotSegments(merged) + suffix;
}

}  // namespace velmor::browser
