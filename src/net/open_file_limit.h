#pragma once

#include <string>

namespace velmor::net {

// Raises the soft limit on open files to the hard limit, so the listeners' bounds are what
// limits connections, not a soft default of 1,024 shared by every listener and file.
// Answers a line for the log: the limit now in force, or why it could not be raised.
std::string raiseOpenFileLimit();

}  // namespace velmor::net
