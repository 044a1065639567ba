#include "browser/log_tail.h"

#include "base/log.h"

#include <algorithm>
#include <fstream>
#include <sys/stat.h>

namespace velmor::test {

LogTail::LogTail() {
    Log::flush();
    struct stat info{};
    start_ = ::stat(Log::kPath, &info) == 0 ? info.st_size : 0;
}

std::vector<std::string> LogTail::lines() const {
    Log::flush();
    std::ifstream in(Log::kPath);
    in.seekg(start_);
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);) {
        auto space = line.find(' ');
        lines.push_back(space == std::string::npos ? line : line.substr(space + 1));
    }
    return lines;
}

bool LogTail::has(const std::string& line) const {
    auto all = lines();
    return std::find(all.begin(), all.end(), line) != all.end();
}

std::vector<std::string> LogTail::containing(const std::string& text) const {
    std::vector<std::string> found;
    for (auto& line : lines())
        if (line.find(text) != std::string::npos) found.push_back(line);
    return found;
}

}  // namespace velmor::test
