#include "base/text.h"

namespace velmor {

std::string lowerAscii(std::string_view text) {
    std::string lowered(text);
    for (char& c : lowered) {
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    }
    return lowered;
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
