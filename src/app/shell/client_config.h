#pragma once

#include <string>

// Where the shell finds the programs it points the user and the desktop at: the ones
// installed next to the running velmor.
namespace velmor::shell {

// The directory of the running velmor program.
std::string programDirectory();
// velmor-bridge next to the running velmor: the command of the client configuration.
std::string bridgePath();

}  // namespace velmor::shell
