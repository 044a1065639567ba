#include "bridge/stdin_reader.h"

#include "base/text.h"
#include "bridge/bounded_line.h"
#include "bridge/output_lines.h"
#include "bridge/stdin_messages.h"

#include <future>
#include <memory>
#include <string>

namespace velmor::bridge {

void forwardInputLines(std::istream& input, HttpForwarder& forwarder, StdoutLines& stdoutLines) {
    InputLine line;
    while (readBoundedLine(input, line)) {
        if (line.tooLong) {
            stdoutLines.write(errorLine(idInPrefix(trimmed(line.text)), "request line longer than 16 MiB refused"));
            continue;
        }
        std::string_view text = trimmed(line.text);
        if (text.empty()) continue;
        InputMessage message = readInputMessage(text);
        if (message.isNotification) {
            forwarder.forward(std::string(text), nullptr, [](std::string) {});
            continue;
        }
        // Shared with the completion so the promise outlives set_value even when this
        // thread wakes and moves on before set_value has returned.
        auto answered = std::make_shared<std::promise<void>>();
        auto written = answered->get_future();
        forwarder.forward(std::string(text), std::move(message.id), [&stdoutLines, answered](std::string answer) {
            stdoutLines.write(answer);
            answered->set_value();
        });
        written.wait();
    }
}

}  // namespace velmor::bridge
