#include "automation/text.h"

namespace velmor::automation {

std::string withoutAX(std::string_view role) {
    std::string words;
    for (size_t i = 0; i < role.size(); ++i) {
        if (role.compare(i, 2, "AX") == 0) ++i;
        else words += role[i];
    }
    return words;
}

}  // namespace velmor::automation
