#include "support/stack_environment.h"

#include <cstdlib>
#include <fstream>

namespace velmor::test {

std::string takeStackEnvironment(const char* folderVariable, const std::string& desktop, const std::string& script) {
    const char* folder = std::getenv(folderVariable);
    if (!folder || !*folder)
        return desktop + " tests need their desktop: run " + script + " <dir> and set " + folderVariable + "=<dir>";
    std::ifstream file(std::string(folder) + "/environment");
    if (!file) return "no " + desktop + " desktop runs in " + folder;
    for (const char* other : {"DISPLAY", "SWAYSOCK", "AT_SPI_BUS_ADDRESS"}) unsetenv(other);
    for (std::string line; std::getline(file, line);) {
        auto equals = line.find('=');
        if (equals != std::string::npos) setenv(line.substr(0, equals).c_str(), line.substr(equals + 1).c_str(), 1);
    }
    return "";
}

}  // namespace velmor::test
