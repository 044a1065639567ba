#include "app/single_instance.h"

#include "base/log.h"
#include "base/write_all.h"

#include <atomic>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <thread>
#include <unistd.h>

namespace velmor {

namespace {

constexpr const char* kLockName = "/velmor.lock";
constexpr const char* kSocketName = "/velmor.sock";
constexpr std::string_view kShowGuide = "show-guide\n";

std::string lastError() { return std::strerror(errno); }

// The folder exists, is a real folder (not a link planted in a shared /tmp) and is this
// user's alone.
Result<void> makePrivateFolder(const std::string& folder) {
    if (::mkdir(folder.c_str(), 0700) != 0 && errno != EEXIST) return fail("cannot create " + folder + ": " + lastError());
    struct stat status{};
    if (::lstat(folder.c_str(), &status) != 0) return fail("cannot read " + folder + ": " + lastError());
    if (!S_ISDIR(status.st_mode)) return fail(folder + " is not a folder");
    if (status.st_uid != ::geteuid()) return fail(folder + " belongs to another user");
    if ((status.st_mode & 0777) != 0700 && ::chmod(folder.c_str(), 0700) != 0)
        return fail("cannot make " + folder + " private: " + lastError());
    return succeeded();
}

Result<sockaddr_un> socketAddress(const std::string& folder) {
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::string path = folder + kSocketName;
    if (path.size() >= sizeof address.sun_path) return fail("the socket path " + path + " is too long");
    std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
    return address;
}

// Gives a socket's reads and writes a deadline, so a peer that says nothing cannot hold it.
void setDeadline(int fd, int seconds) {
    timeval limit{.tv_sec = seconds, .tv_usec = 0};
    ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit);
    ::setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &limit, sizeof limit);
}

bool fromThisUser(int fd) {
    ucred peer{};
    socklen_t length = sizeof peer;
    return ::getsockopt(fd, SOL_SOCKET, SO_PEERCRED, &peer, &length) == 0 && peer.uid == ::geteuid();
}

// Reads what the peer sends up to the size of the one request, until it stops or the
// deadline passes; a longer message is not the request.
bool askedToShowGuide(int fd) {
    char buffer[kShowGuide.size() + 1];
    size_t received = 0;
    while (received < sizeof buffer) {
        ssize_t n = ::recv(fd, buffer + received, sizeof buffer - received, 0);
        if (n <= 0) break;
        received += static_cast<size_t>(n);
        if (std::string_view(buffer, received) == kShowGuide) return true;
    }
    return false;
}

}  // namespace

SingleInstance::SingleInstance(std::string folder, int lockFd, Claim claim)
    : folder_(std::move(folder)), lockFd_(lockFd), claim_(claim) {}

SingleInstance::SingleInstance(SingleInstance&& other) noexcept
    : folder_(std::move(other.folder_)), lockFd_(other.lockFd_), claim_(other.claim_) {
    other.lockFd_ = -1;
}

SingleInstance::~SingleInstance() {
    if (lockFd_ >= 0) ::close(lockFd_);
}

Result<SingleInstance> SingleInstance::claim(const std::string& folder) {
    VELMOR_RETURN_IF_FAILED(makePrivateFolder(folder));
    std::string path = folder + kLockName;
    int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (fd < 0) return fail("cannot open " + path + ": " + lastError());
    // The kernel lets the lock go when the process ends, however it ends.
    if (::flock(fd, LOCK_EX | LOCK_NB) == 0) return SingleInstance(folder, fd, Claim::ours);
    int error = errno;
    ::close(fd);
    if (error == EWOULDBLOCK) return SingleInstance(folder, -1, Claim::heldByAnother);
    return fail("cannot lock " + path + ": " + std::strerror(error));
}

bool SingleInstance::askToShowGuide() const {
    auto address = socketAddress(folder_);
    if (!address) return false;
    int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return false;
    setDeadline(fd, 1);
    bool sent = ::connect(fd, reinterpret_cast<const sockaddr*>(&*address), sizeof *address) == 0 &&
                writeAll(fd, kShowGuide);
    ::close(fd);
    return sent;
}

Result<void> SingleInstance::serveGuideRequests(std::function<void()> showGuide) {
    auto address = socketAddress(folder_);
    VELMOR_RETURN_IF_FAILED(address);
    // Whatever is at the path was left by a Velmor that ended: this one holds the lock.
    ::unlink(address->sun_path);
    int listener = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (listener < 0) return fail("cannot make a socket: " + lastError());
    if (::bind(listener, reinterpret_cast<const sockaddr*>(&*address), sizeof *address) != 0 ||
        ::chmod(address->sun_path, 0600) != 0 || ::listen(listener, 4) != 0) {
        std::string reason = lastError();
        ::close(listener);
        return fail("cannot listen on " + std::string(address->sun_path) + ": " + reason);
    }
    // Lives with the process, as the listener does.
    std::thread([listener, showGuide = std::move(showGuide)] {
        while (true) {
            int fd = ::accept4(listener, nullptr, nullptr, SOCK_CLOEXEC);
            if (fd < 0) {
                if (errno == EINTR || errno == ECONNABORTED) continue;
                Log::error("app", "Stopped taking setup guide requests: " + lastError());
                return;
            }
            setDeadline(fd, 1);
            bool asked = fromThisUser(fd) && askedToShowGuide(fd);
            ::close(fd);
            if (asked) {
                Log::info("app", "Another start of Velmor asked for the setup guide");
                showGuide();
            }
        }
    }).detach();
    return succeeded();
}

}  // namespace velmor
