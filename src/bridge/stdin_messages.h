#pragma once

#include <string_view>

namespace velmor::bridge {

// The line without the white space and line breaks around it.
std::string_view trimmed(std::string_view line);

// A JSON object whose `method` is a string starting with "notifications/". Such a message
// gets no answer, so the bridge sends it without waiting. Anything else, including text
// that is not JSON at all, is treated as a request so the client always hears back.
bool isNotification(std::string_view message);

}  // namespace velmor::bridge
