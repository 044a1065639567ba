#pragma once

#include <mutex>
#include <string_view>

namespace velmor::bridge {

// Standard output carries the MCP conversation: answers come from the HTTP side and pushed
// notifications from the WebSocket side, on different threads. Every line goes out under
// one lock so that a push can never land inside an answer.
class StdoutLines {
public:
    void write(std::string_view line);
    // Ends the process with `status` while holding the lock, so a line being written on
    // another thread is finished first and no half line reaches the client. A client that
    // stopped reading cannot hold the exit up for more than a moment.
    [[noreturn]] void exitProcess(int status);

private:
    std::timed_mutex mutex_;
};

}  // namespace velmor::bridge
