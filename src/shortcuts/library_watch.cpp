#include "shortcuts/library_watch.h"

#include "shortcuts/shortcut_library.h"

#include <filesystem>
#include <poll.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <unistd.h>

namespace velmor::shortcuts {

namespace {

constexpr int kPollMs = 250;
constexpr uint32_t kNameEvents = IN_CREATE | IN_DELETE | IN_MOVED_FROM | IN_MOVED_TO | IN_CLOSE_WRITE |
                                 IN_DELETE_SELF | IN_MOVE_SELF | IN_ONLYDIR;

}  // namespace

LibraryWatch::LibraryWatch(std::string folder, std::function<void()> onNamesChanged)
    : folder_(std::move(folder)), onNamesChanged_(std::move(onNamesChanged)),
      names_(ShortcutLibrary(folder_).names()), thread_([this] { watch(); }) {}

LibraryWatch::~LibraryWatch() {
    stopping_ = true;
    thread_.join();
}

void LibraryWatch::watch() {
    int fd = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    if (fd < 0) return;
    int watched = -1;
    while (!stopping_) {
        if (watched < 0) {
            std::error_code ignored;
            if (std::filesystem::create_directories(folder_, ignored)) ::chmod(folder_.c_str(), 0700);
            watched = ::inotify_add_watch(fd, folder_.c_str(), kNameEvents);
        }
        pollfd ready{fd, POLLIN, 0};
        if (::poll(&ready, 1, kPollMs) <= 0) continue;
        alignas(inotify_event) char buffer[16384];
        ssize_t n = ::read(fd, buffer, sizeof buffer);
        for (ssize_t at = 0; at < n;) {
            const auto* event = reinterpret_cast<const inotify_event*>(buffer + at);
            // The folder itself went: watch the one that takes its place.
            if (event->mask & (IN_IGNORED | IN_DELETE_SELF | IN_MOVE_SELF)) watched = -1;
            at += static_cast<ssize_t>(sizeof(inotify_event) + event->len);
        }
        std::vector<std::string> names = ShortcutLibrary(folder_).names();
        if (names != names_) {
            names_ = std::move(names);
            onNamesChanged_();
        }
    }
    ::close(fd);
}

}  // namespace velmor::shortcuts
