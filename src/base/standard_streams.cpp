#include "base/standard_streams.h"

#include <cerrno>
#include <fcntl.h>
#include <unistd.h>

namespace velmor {

void fillClosedStandardStreams() {
    for (int fd = 0; fd <= 2; ++fd) {
        if (::fcntl(fd, F_GETFD) != -1 || errno != EBADF) continue;
        // The lowest free number is this one: those below it are open by now.
        int opened = ::open("/dev/null", O_RDWR);
        if (opened > 2) ::close(opened);
    }
}

}  // namespace velmor
