#include "platform/linux/process_identity.h"

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <sys/wait.h>
#include <vector>

namespace velmor::platform {

namespace {

// The fields of /proc/<pid>/stat from the state (field 3) on; nothing when no process has
// the identifier.
std::optional<std::vector<std::string>> statFields(int32_t pid) {
    if (pid <= 0) return std::nullopt;
    std::ifstream file("/proc/" + std::to_string(pid) + "/stat");
    std::string line;
    if (!std::getline(file, line)) return std::nullopt;
    // The command name in parentheses may hold blanks and parentheses itself: the fields
    // that follow start after the last ')'.
    auto close = line.rfind(')');
    if (close == std::string::npos) return std::nullopt;
    std::istringstream words(line.substr(close + 1));
    std::vector<std::string> fields;
    for (std::string word; words >> word;) fields.push_back(word);
    return fields;
}

// A numbered field of /proc/<pid>/stat (from 1), out of statFields.
std::optional<uint64_t> numberAt(const std::vector<std::string>& fields, size_t field) {
    size_t index = field - 3;
    if (index >= fields.size()) return std::nullopt;
    try {
        return std::stoull(fields[index]);
    } catch (const std::exception&) {
        return std::nullopt;
    }
}

constexpr size_t kStartField = 22;
// The exit status as waitpid reports it (since Linux 3.5).
constexpr size_t kExitCodeField = 52;

}  // namespace

std::optional<uint64_t> processStart(int32_t pid) {
    auto fields = statFields(pid);
    if (!fields || fields->empty()) return std::nullopt;
    const std::string& state = fields->front();
    if (state == "Z" || state == "X" || state == "x") return std::nullopt;
    return numberAt(*fields, kStartField);
}

std::optional<std::string> processState(int32_t pid) {
    auto fields = statFields(pid);
    if (!fields || fields->empty()) return std::nullopt;
    return fields->front();
}

std::optional<ProcessEnd> processEnd(int32_t pid, uint64_t started) {
    auto fields = statFields(pid);
    if (!fields || fields->empty() || fields->front() != "Z" || numberAt(*fields, kStartField) != started)
        return std::nullopt;
    auto status = numberAt(*fields, kExitCodeField);
    if (!status) return std::nullopt;
    int code = static_cast<int>(*status);
    if (WIFEXITED(code)) return ProcessEnd{.bySignal = false, .code = WEXITSTATUS(code)};
    if (WIFSIGNALED(code)) return ProcessEnd{.bySignal = true, .code = WTERMSIG(code)};
    return std::nullopt;
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
