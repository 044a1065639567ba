#include "bridge/stdin_reader.h"

#include "bridge/stdin_messages.h"

#include <future>
#include <memory>
#include <string>

namespace velmor::bridge {

void forwardInputLines(std::istream& input, HttpForwarder& forwarder, StdoutLines& stdoutLines) {
    std::string line;
    while (std::getline(input, line)) {
        std::string_view message = trimmed(line);
        if (message.empty()) continue;
        if (isNotification(message)) {
            forwarder.forward(std::string(message), [](std::string) {});
            continue;
        }
        // Shared with the completion so the promise outlives set_value even when this
        // thread wakes and moves on before set_value has returned.
        auto answered = std::make_shared<std::promise<void>>();
        auto written = answered->get_future();
        forwarder.forward(std::string(message), [&stdoutLines, answered](std::string answer) {
            stdoutLines.write(answer);
            answered->set_value();
        });
        written.wait();
    }
}

}  // namespace velmor::bridge
