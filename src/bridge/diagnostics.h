#pragma once

#include <string_view>

namespace velmor::bridge {

// Writes "[velmor-bridge] <text>" as one line to standard error. Standard output belongs
// to the MCP client, so everything the bridge has to say about itself goes here.
void log(std::string_view text);

}  // namespace velmor::bridge
