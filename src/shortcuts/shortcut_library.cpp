#include "shortcuts/shortcut_library.h"

#include "base/json_object_file.h"
#include "base/outside_text.h"
#include "base/paths.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <dirent.h>
#include <strings.h>
#include <sys/stat.h>

namespace velmor::shortcuts {

namespace {

// What a file name allows, less the suffix.
constexpr size_t kMaxNameBytes = 200;

}  // namespace

ShortcutLibrary::ShortcutLibrary(std::string folder) : folder_(std::move(folder)) {}

std::vector<std::string> ShortcutLibrary::names() const {
    std::vector<std::string> found;
    DIR* dir = ::opendir(folder_.c_str());
    if (!dir) return found;
    const std::string suffix = kShortcutSuffix;
    while (const dirent* entry = ::readdir(dir)) {
        std::string file = entry->d_name;
        // Hidden files are half-written ones and editors' leftovers.
        if (file.starts_with('.') || file.size() <= suffix.size() || !file.ends_with(suffix)) continue;
        // A file whose name no shortcut may have (one with a line break would list as two)
        // is no shortcut.
        std::string name = file.substr(0, file.size() - suffix.size());
        if (!checkShortcutName(name)) continue;
        struct stat st{};
        if (::stat((folder_ + "/" + file).c_str(), &st) != 0 || !S_ISREG(st.st_mode)) continue;
        found.push_back(std::move(name));
    }
    ::closedir(dir);
    std::sort(found.begin(), found.end(), [](const std::string& a, const std::string& b) {
        int order = ::strcasecmp(a.c_str(), b.c_str());
        return order != 0 ? order < 0 : a < b;
    });
    return found;
}

std::string ShortcutLibrary::fileOf(const std::string& name) const { return folder_ + "/" + name + kShortcutSuffix; }

bool ShortcutLibrary::contains(const std::string& name) const {
    struct stat st{};
    return ::stat(fileOf(name).c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

Result<void> ShortcutLibrary::store(const std::string& name, const std::string& bytes) const {
    VELMOR_RETURN_IF_FAILED(checkShortcutName(name));
    if (!replaceFilePrivately(fileOf(name), bytes))
        return fail("cannot write " + fileOf(name) + ": " + std::strerror(errno));
    return succeeded();
}

std::string defaultLibraryFolder() { return paths::dataHome() + "/velmor/shortcuts"; }

Result<void> checkShortcutName(const std::string& name) {
    if (name.empty() || name.starts_with('.'))
        return fail("a shortcut's name cannot be empty or begin with '.'");
    if (name.find('/') != std::string::npos || name.find('\0') != std::string::npos)
        return fail("a shortcut's name cannot contain '/'");
    if (name.size() > kMaxNameBytes) return fail("a shortcut's name cannot be longer than 200 bytes");
    // The name is shown to the agent and the user as it is.
    if (!outside_text::isClean(name))
        return fail("a shortcut's name cannot hold control, invisible or direction-changing characters, nor begin "
                    "or end with a space");
    return succeeded();
}

}  // namespace velmor::shortcuts
