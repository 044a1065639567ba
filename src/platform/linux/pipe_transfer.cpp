#include "platform/linux/pipe_transfer.h"

#include "platform/clipboard.h"

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <cerrno>

namespace velmor::platform {

namespace {

constexpr int kTransferTimeoutMs = 2000;
constexpr size_t kMaxBytes = 16 * 1024 * 1024;

}  // namespace

bool writeAll(int fd, const std::string& text) {
    fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) | O_NONBLOCK);
    size_t done = 0;
    while (done < text.size()) {
        pollfd ready{fd, POLLOUT, 0};
        if (poll(&ready, 1, kTransferTimeoutMs) <= 0) return false;
        ssize_t written = write(fd, text.data() + done, text.size() - done);
        if (written < 0 && errno != EAGAIN && errno != EINTR) return false;
        if (written > 0) done += static_cast<size_t>(written);
    }
    return true;
}

Result<std::string> readAll(int fd) {
    std::string text;
    char buffer[65536];
    for (;;) {
        pollfd ready{fd, POLLIN, 0};
        if (poll(&ready, 1, kTransferTimeoutMs) <= 0) return fail(kClipboardNotHandedOver);
        ssize_t got = read(fd, buffer, sizeof buffer);
        if (got == 0) return text;
        if (got < 0 && errno != EAGAIN && errno != EINTR) return fail(kClipboardNotHandedOver);
        if (got > 0) text.append(buffer, static_cast<size_t>(got));
        if (text.size() > kMaxBytes) return fail("the clipboard holds more than 16 MiB of text");
    }
}

}  // namespace velmor::platform
