#include "automation/text.h"

namespace velmor::automation {

std::string utf8Prefix(std::string_view text, size_t characters) {
    size_t end = 0;
    for (size_t count = 0; end < text.size() && count < characters; ++count) {
        ++end;
        while (end < text.size() && (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80) ++end;
    }
    return std::string(text.substr(0, end));
}

std::string withoutAX(std::string_view role) {
    std::string words;
    for (size_t i = 0; i < role.size(); ++i) {
        if (role.compare(i, 2, "AX") == 0) ++i;
        else words += role[i];
    }
    return words;
}

}  // namespace velmor::automation
