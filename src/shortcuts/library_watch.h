#pragma once

#include <atomic>
#include <functional>
#include <string>
#include <thread>
#include <vector>

namespace velmor::shortcuts {

// Watches the library folder (inotify) and calls `onNamesChanged` from its own thread
// whenever the set of shortcut names has changed: one added, removed or renamed, whoever
// did it. The folder is created (mode 0700) when missing, so there is something to watch.
class LibraryWatch {
public:
    LibraryWatch(std::string folder, std::function<void()> onNamesChanged);
    ~LibraryWatch();
    LibraryWatch(const LibraryWatch&) = delete;
    LibraryWatch& operator=(const LibraryWatch&) = delete;

private:
    void watch();

    std::string folder_;
    std::function<void()> onNamesChanged_;
    std::vector<std::string> names_;
    std::atomic<bool> stopping_{false};
    std::thread thread_;
};

}  // namespace velmor::shortcuts
