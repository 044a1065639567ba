#include "shortcuts/facility_commands.h"

#include <csignal>

int main(int argc, char** argv) {
    // A shell script that stops reading its input must not end this program.
    std::signal(SIGPIPE, SIG_IGN);
    return velmor::shortcuts::runFacilityCommand(std::vector<std::string>(argv + 1, argv + argc));
}
