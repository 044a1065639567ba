#include "bridge/diagnostics.h"

#include "base/write_all.h"

#include <string>
#include <unistd.h>

namespace velmor::bridge {

void log(std::string_view text) {
    std::string line = "[velmor-bridge] ";
    line += text;
    line += '\n';
    // No lock: a single write keeps lines whole, and a diagnostic mixed in between two
    // others costs nothing.
    writeAll(STDERR_FILENO, line);
}

}  // namespace velmor::bridge
