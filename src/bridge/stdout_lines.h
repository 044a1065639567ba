#pragma once

#include "base/guarded.h"

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <string>
#include <string_view>

namespace velmor::bridge {

// Standard output carries the MCP conversation: answers come from the HTTP side and pushed
// notifications from the WebSocket side, both on the bridge's one I/O thread. A client that
// stops reading must not stall that thread (WebSocket pings would go unanswered, requests
// unsent), so write() puts a line out itself only when that cannot block, and otherwise
// queues it; a writer thread of its own puts the queued lines out whole and in order. A
// client that never reads again cannot make the queue grow without bound: a line that would
// take the queue beyond kQueueLimit bytes is dropped, and the drop is logged.
//
// The writer thread outlives this object's users: runBridge never returns, it ends the
// process through exitProcess.
class StdoutLines {
public:
    static constexpr std::size_t kQueueLimit = 64u << 20;

    explicit StdoutLines(int fd);

    void write(std::string_view line);
    // Ends the process with `status` once the queued lines are out, so the client gets
    // every answer and never half a line. A client that stopped reading cannot hold the
    // exit up for more than a moment.
    [[noreturn]] void exitProcess(int status);

private:
    void writeLines();

    struct Queue {
        std::deque<std::string> lines;
        std::size_t bytes = 0;
        bool writing = false;  // a line is being written, outside the queue
        bool dropping = false;
    };

    const int fd_;
    Guarded<Queue> queue_;
    std::condition_variable queued_;
    std::condition_variable drained_;
};

}  // namespace velmor::bridge
