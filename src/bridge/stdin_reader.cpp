#include "bridge/stdin_reader.h"

#include "base/text.h"
#include "bridge/bounded_line.h"
#include "bridge/output_lines.h"
#include "bridge/stdin_messages.h"

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
        forwarder.forward(std::string(text), std::move(message));
    }
}

}  // namespace velmor::bridge
