#include "bridge/stdin_messages.h"

#include <nlohmann/json.hpp>

namespace velmor::bridge {

std::string_view trimmed(std::string_view line) {
    constexpr std::string_view kWhiteSpace = " \t\n\r\v\f";
    auto first = line.find_first_not_of(kWhiteSpace);
    if (first == std::string_view::npos) return {};
    auto last = line.find_last_not_of(kWhiteSpace);
    return line.substr(first, last - first + 1);
}

bool isNotification(std::string_view message) {
    auto json = nlohmann::json::parse(message, nullptr, false);
    if (!json.is_object()) return false;
    auto method = json.find("method");
    return method != json.end() && method->is_string() &&
           method->get_ref<const std::string&>().starts_with("notifications/");
}

}  // namespace velmor::bridge
