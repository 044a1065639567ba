#include "bridge/bounded_line.h"

namespace velmor::bridge {

bool readBoundedLine(std::istream& input, InputLine& line, size_t maxBytes) {
    line.text.clear();
    line.tooLong = false;
    std::streambuf* buffer = input.rdbuf();
    bool readAny = false;
    for (;;) {
        int c = buffer->sbumpc();
        if (c == std::char_traits<char>::eof()) {
            input.setstate(std::ios::eofbit);
            return readAny;
        }
        readAny = true;
        if (c == '\n') return true;
        if (line.text.size() < maxBytes) line.text.push_back(static_cast<char>(c));
        else line.tooLong = true;
    }
}

}  // namespace velmor::bridge
