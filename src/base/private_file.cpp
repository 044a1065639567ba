#include "base/private_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace velmor {

Result<void> createPrivateFile(const std::string& path) {
    int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd < 0) return fail("cannot create " + path + ": " + std::strerror(errno));
    // The umask may have taken bits away, never added any; this only makes sure.
    const bool private_ = ::fchmod(fd, 0600) == 0;
    const int error = errno;
    ::close(fd);
    if (!private_) return fail("cannot make " + path + " private: " + std::strerror(error));
    return succeeded();
}

bool tightenToOwnerOnly(const std::string& path) {
    struct stat status {};
    if (::lstat(path.c_str(), &status) != 0 || !S_ISREG(status.st_mode) || (status.st_mode & 077) == 0) return false;
    return ::chmod(path.c_str(), status.st_mode & 0700) == 0;
}

}  // namespace velmor
