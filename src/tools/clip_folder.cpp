#include "tools/clip_folder.h"

#include "base/log.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <string>
#include <vector>

namespace velmor::tools {

namespace {

constexpr const char* kPrefix = "velmor-narration-";
constexpr const char* kLockName = "owner.lock";
// Long enough for any demo to have made its lock file after making its folder.
constexpr auto kUnlockedGrace = std::chrono::hours(1);

// The lock is held by the open file: it ends with the process however the process ends.
int lockOwnership(const std::filesystem::path& folder) {
    int fd = ::open((folder / kLockName).c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd < 0) return -1;
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

bool abandoned(const std::filesystem::path& folder) {
    struct stat status {};
    if (::lstat(folder.c_str(), &status) != 0 || !S_ISDIR(status.st_mode) || status.st_uid != ::geteuid()) return false;
    int fd = ::open((folder / kLockName).c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) {
        const auto age = std::chrono::system_clock::now() - std::chrono::system_clock::from_time_t(status.st_mtime);
        return age > kUnlockedGrace;
    }
    const bool free = ::flock(fd, LOCK_EX | LOCK_NB) == 0;
    ::close(fd);
    return free;
}

}  // namespace

ClipFolder::ClipFolder(const std::filesystem::path& temporaryFolder) {
    if (temporaryFolder.empty()) return;
    std::string pattern = (temporaryFolder / (std::string(kPrefix) + "XXXXXX")).string();
    if (!::mkdtemp(pattern.data())) return;
    path_ = pattern;
    lock_ = lockOwnership(path_);
}

ClipFolder::~ClipFolder() {
    std::error_code ignored;
    if (!path_.empty()) std::filesystem::remove_all(path_, ignored);
    if (lock_ >= 0) ::close(lock_);
}

int removeAbandonedClipFolders(const std::filesystem::path& temporaryFolder) {
    if (temporaryFolder.empty()) return 0;
    std::error_code error;
    std::vector<std::filesystem::path> stale;
    for (std::filesystem::directory_iterator it(temporaryFolder, error), end; !error && it != end; it.increment(error))
        if (it->path().filename().string().starts_with(kPrefix) && abandoned(it->path())) stale.push_back(it->path());
    int removed = 0;
    for (const auto& folder : stale) {
        std::error_code ignored;
        if (std::filesystem::remove_all(folder, ignored) > 0) ++removed;
    }
    if (removed > 0)
        Log::info("demo", "Removed " + std::to_string(removed) + " clip folder(s) of narrated demos that were killed");
    return removed;
}

}  // namespace velmor::tools
