#include "bridge/diagnostics.h"

#include "bridge/fd_output.h"

#include <string>
#include <unistd.h>

namespace velmor::bridge {

void log(std::string_view text) {
    std::string line = "[velmor-bridge] ";
    line += text;
    line += '\n';
    // No lock: a single write keeps lines whole, and a diagnostic mixed in between two
    // others costs nothing.
    writeFully(STDERR_FILENO, line);
}

}  // namespace velmor::bridge
