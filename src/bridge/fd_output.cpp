#include "bridge/fd_output.h"

#include <cerrno>
#include <unistd.h>

namespace velmor::bridge {

void writeFully(int fd, std::string_view bytes) {
    while (!bytes.empty()) {
        ssize_t written = ::write(fd, bytes.data(), bytes.size());
        if (written < 0 && errno == EINTR) continue;
        if (written <= 0) return;
        bytes.remove_prefix(static_cast<std::size_t>(written));
    }
}

}  // namespace velmor::bridge
