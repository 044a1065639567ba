#include "base/header_value.h"

#include <string>

namespace velmor {

Result<void> checkHeaderValue(std::string_view value) {
    for (unsigned char byte : value)
        if (byte < 0x20 || byte > 0x7e) return fail("contains characters a key never has");
    if (value.size() > kMaxHeaderValueBytes)
        return fail("is longer than " + std::to_string(kMaxHeaderValueBytes) + " bytes");
    return succeeded();
}

}  // namespace velmor
