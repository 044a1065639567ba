#include "bridge/command_line.h"

#include "bridge/bridge_process.h"
#include "bridge/diagnostics.h"
#include "base/client_entry.h"
#include "base/version.h"
#include "base/write_all.h"

#include <climits>
#include <exception>
#include <string>
#include <string_view>
#include <unistd.h>

namespace velmor::bridge {

namespace {

// The absolute path of this executable, which is what a client configuration must name.
std::string executablePath() {
    char path[PATH_MAX];
    ssize_t length = ::readlink("/proc/self/exe", path, sizeof path - 1);
    return length > 0 ? std::string(path, static_cast<std::size_t>(length)) : "velmor-bridge";
}

std::string usage() {
    return "Usage: velmor-bridge [--help | --version]\n"
           "\n"
           "Connects an MCP client that talks over standard input and output to the Velmor\n"
           "application on this machine. JSON-RPC messages read from standard input, one per\n"
           "line, are forwarded to the application's MCP endpoint as soon as they are read,\n"
           "and each answer is written to standard output as soon as it comes, so answers\n"
           "may come in another order than their requests; changes to the tool list arrive\n"
           "as notifications. Diagnostics go to standard error. The bridge ends when\n"
           "standard input ends, once the requests read so far are answered.\n"
           "\n"
           "The application's ports and bearer token are read once at start from\n"
           "~/.velmor/config.json (keys \"port\", \"wsPort\" and \"token\").\n"
           "\n"
           "Register it with an MCP client as a stdio server, for example:\n" +
           clientEntry(executablePath()) + "\n";
}

}  // namespace

int runCommandLine(int argc, char** argv) {
    try {
        if (argc <= 1) runBridge();
        std::string_view argument = argv[1];
        if (argc == 2 && (argument == "--help" || argument == "-h")) {
            writeAll(STDOUT_FILENO, usage());
            return 0;
        }
        if (argc == 2 && argument == "--version") {
            writeAll(STDOUT_FILENO, std::string("velmor-bridge ") + kVersion + "\n");
            return 0;
        }
        writeAll(STDERR_FILENO, usage());
        return 2;
    } catch (const std::exception& error) {
        log(std::string("Stopped: ") + error.what());
        return 1;
    }
}

}  // namespace velmor::bridge
