#pragma once

#include <string>

// The client configuration entry for velmor-bridge, in the forms the desktop shell shows
// and copies. The command is the bridge installed next to the running velmor.
namespace velmor::shell {

// The directory of the running velmor program.
std::string programDirectory();
// velmor-bridge next to the running velmor.
std::string bridgePath();

// A member ready to paste into a client's server list ("Copy MCP Config").
std::string serverListEntry(const std::string& bridge);
// A whole JSON document holding that entry (the guide's copy button).
std::string clientConfigDocument(const std::string& bridge);
// The same document as the guide displays it, the command value on a line of its own so
// that a long path fits the code block.
std::string clientConfigDisplayed(const std::string& bridge);

}  // namespace velmor::shell
