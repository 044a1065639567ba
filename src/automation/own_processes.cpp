#include "automation/own_processes.h"

#include "base/paths.h"

#include <algorithm>
#include <climits>
#include <filesystem>
#include <unistd.h>

namespace velmor::automation {

namespace {

// The executable a process runs; empty when it cannot be read (another user's process, gone).
std::string executableOf(int32_t pid) {
    char path[PATH_MAX];
    std::string link = "/proc/" + std::to_string(pid) + "/exe";
    ssize_t length = ::readlink(link.c_str(), path, sizeof path - 1);
    if (length <= 0) return {};
    std::string executable(path, static_cast<size_t>(length));
    // A program replaced on disk while it runs (an upgrade) is still the same program.
    constexpr std::string_view kDeleted = " (deleted)";
    if (executable.ends_with(kDeleted)) executable.resize(executable.size() - kDeleted.size());
    return executable;
}

}  // namespace

OwnProcesses::OwnProcesses(std::vector<std::string> programs) {
    for (const auto& program : programs) {
        std::error_code unresolved;
        auto resolved = std::filesystem::weakly_canonical(program, unresolved);
        programs_.push_back(unresolved ? program : resolved.string());
    }
}

bool OwnProcesses::owns(int32_t pid) const {
    if (pid == ::getpid()) return true;
    std::string executable = executableOf(pid);
    return !executable.empty() && std::find(programs_.begin(), programs_.end(), executable) != programs_.end();
}

OwnProcesses velmorProcesses() { return OwnProcesses({paths::besideThisProgram("velmor-shortcuts")}); }

}  // namespace velmor::automation
