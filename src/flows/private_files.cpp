#include "flows/private_files.h"

#include <fcntl.h>
#include <filesystem>
#include <sys/stat.h>
#include <unistd.h>

namespace velmor::flows {

namespace {

// Owner-only for a file that exists; created empty (which SQLite takes for a new
// database) when `create` is set and it does not.
void makePrivate(const std::string& path, bool create) {
    int flags = O_RDONLY | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK | (create ? O_CREAT : 0);
    int fd = ::open(path.c_str(), flags, 0600);
    if (fd < 0) return;
    struct stat status{};
    if (::fstat(fd, &status) == 0 && S_ISREG(status.st_mode) && (status.st_mode & 077) != 0)
        ::fchmod(fd, status.st_mode & 0700);
    ::close(fd);
}

}  // namespace

std::error_code makeFlowFilesPrivate(const std::string& databasePath) {
    std::error_code error;
    std::filesystem::path folder = std::filesystem::path(databasePath).parent_path();
    if (!folder.empty()) {
        std::filesystem::create_directories(folder, error);
        if (error) return error;
        ::chmod(folder.c_str(), 0700);
    }
    makePrivate(databasePath, /*create=*/true);
    makePrivate(databasePath + "-wal", /*create=*/false);
    makePrivate(databasePath + "-shm", /*create=*/false);
    return error;
}

}  // namespace velmor::flows
