#include "app/json_depth.h"

namespace velmor {

bool jsonDepthWithin(std::string_view text, size_t limit) {
    size_t depth = 0;
    bool inString = false;
    bool escaped = false;
    for (char c : text) {
        if (inString) {
            if (escaped) {
                escaped = false;
            } else if (c == '\\') {
                escaped = true;
            } else if (c == '"') {
                inString = false;
            }
        } else if (c == '"') {
            inString = true;
        } else if (c == '[' || c == '{') {
            if (++depth > limit) return false;
        } else if ((c == ']' || c == '}') && depth > 0) {
            --depth;
        }
    }
    return true;
}

nlohmann::json parseBoundedJson(std::string_view text) {
    if (!jsonDepthWithin(text)) return nlohmann::json(nlohmann::json::value_t::discarded);
    return nlohmann::json::parse(text, nullptr, /*allow_exceptions=*/false);
}

}  // namespace velmor
