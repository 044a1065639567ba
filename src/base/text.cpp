#include "base/text.h"

namespace velmor {

std::string lowerAscii(std::string_view text) {
    std::string lowered(text);
    for (char& c : lowered) {
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    }
    return lowered;
}

std::string_view trimmed(std::string_view text) {
    constexpr std::string_view kBlanks = " \t\r\n\v\f";
    auto first = text.find_first_not_of(kBlanks);
    if (first == std::string_view::npos) return {};
    return text.substr(first, text.find_last_not_of(kBlanks) - first + 1);
}

std::string toSlug(std::string_view text, size_t maxLength) {
    std::string slug;
    bool inRun = false;
    for (char c : lowerAscii(text)) {
        if ((c >= 'a' && c <= 'z') || (c >= '0' && c <= '9')) {
            slug += c;
            inRun = false;
        } else if (!inRun) {
            slug += '_';
            inRun = true;
        }
    }
    size_t first = slug.find_first_not_of('_');
    slug = first == std::string::npos ? "" : slug.substr(first, slug.find_last_not_of('_') - first + 1);
    if (slug.size() > maxLength) slug.resize(maxLength);
    return slug;
}

}  // namespace velmor
