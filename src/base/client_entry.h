#pragma once

#include <string>

namespace velmor {

// The MCP client configuration that registers velmor-bridge as a stdio server, as a whole
// JSON document a user can paste into a client's configuration file. The tray and the setup
// guide copy it, the bridge's --help prints it and the README shows it: one text for all.
std::string clientEntry(const std::string& bridgeCommand);

}  // namespace velmor
