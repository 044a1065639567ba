#include "platform/linux/process_identity.h"

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

namespace velmor::platform {

std::optional<uint64_t> processStart(int32_t pid) {
    if (pid <= 0) return std::nullopt;
    std::ifstream file("/proc/" + std::to_string(pid) + "/stat");
    std::string line;
    if (!std::getline(file, line)) return std::nullopt;
    // The command name in parentheses may hold blanks and parentheses itself: the fields
    // that follow start after the last ')'.
    auto close = line.rfind(')');
    if (close == std::string::npos) return std::nullopt;
    std::istringstream fields(line.substr(close + 1));
    std::string state;
    fields >> state;
    if (state == "Z" || state == "X" || state == "x") return std::nullopt;
    // Fields 4 to 21 lie between the state (field 3) and the start time (field 22).
    std::string skipped;
    for (int field = 4; field <= 21; ++field) fields >> skipped;
    uint64_t start = 0;
    if (!(fields >> start)) return std::nullopt;
    return start;
}

std::optional<std::string> executableName(int32_t pid) {
    std::error_code error;
    auto target = std::filesystem::read_symlink("/proc/" + std::to_string(pid) + "/exe", error);
    if (!error && !target.filename().empty()) return target.filename().string();
    std::string name;
    if (std::getline(std::ifstream("/proc/" + std::to_string(pid) + "/comm"), name) && !name.empty()) return name;
    return std::nullopt;
}

}  // namespace velmor::platform
