#pragma once

#include <string>

namespace velmor::test {

// Takes over the environment of a test desktop started by a stack script: the
// `environment` file the script writes into the folder that `folderVariable` names, one
// NAME=value per line. The variables that would lead programs started here to another test
// desktop (DISPLAY, SWAYSOCK, AT_SPI_BUS_ADDRESS) are dropped unless the file sets them.
// Returns why it could not, naming `desktop` and the `script` that starts it; empty once the
// environment is taken over.
std::string takeStackEnvironment(const char* folderVariable, const std::string& desktop, const std::string& script);

}  // namespace velmor::test
