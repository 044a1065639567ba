#include "browser/log_tail.h"

#include "base/log.h"

#include <algorithm>
#include <fstream>
#include <sys/stat.h>

namespace velmor::test {

LogTail::LogTail() {
    Log::flush();
    struct stat info{};
    start_ = ::stat(Log::path().c_str(), &info) == 0 ? info.st_size : 0;
}

std::vector<std::string> LogTail::lines() const {
    Log::flush();
    std::vector<std::string> lines;
    auto readFrom = [&lines](const std::string& path, std::streamoff offset) {
        std::ifstream in(path);
        in.seekg(offset);
        for (std::string line; std::getline(in, line);) {
            auto space = line.find(' ');
            lines.push_back(space == std::string::npos ? line : line.substr(space + 1));
        }
    };
    // Rotated meanwhile: what came after the start is the rest of the previous file and all of
    // the new one.
    struct stat info{};
    if (::stat(Log::path().c_str(), &info) == 0 && info.st_size < start_) {
        readFrom(Log::path() + ".1", start_);
        readFrom(Log::path(), 0);
    } else {
        readFrom(Log::path(), start_);
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
