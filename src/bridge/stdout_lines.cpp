#include "bridge/stdout_lines.h"

#include "base/write_all.h"

#include <chrono>
#include <cstdlib>
#include <string>
#include <unistd.h>

namespace velmor::bridge {

void StdoutLines::write(std::string_view line) {
    std::string text;
    text.reserve(line.size() + 1);
    text.append(line);
    text += '\n';
    std::lock_guard lock(mutex_);
    writeAll(STDOUT_FILENO, text);
}

void StdoutLines::exitProcess(int status) {
    (void)mutex_.try_lock_for(std::chrono::seconds(1));
    // _Exit rather than exit: requests, notifications and reconnection timers may still be
    // in flight on other threads, and running destructors under them would be unsafe.
    // Nothing is buffered, since every line went out with write(2).
    std::_Exit(status);
}

}  // namespace velmor::bridge
