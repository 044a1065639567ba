#pragma once

#include "base/result.h"

#include <string>
#include <vector>

namespace velmor::shortcuts {

// The user's shortcuts: one file per shortcut in one folder, named after the shortcut
// ("<name>.shortcut"), so a user can drop files in and rename them.
class ShortcutLibrary {
public:
    explicit ShortcutLibrary(std::string folder);

    const std::string& folder() const { return folder_; }
    // The names, sorted ignoring case; empty when the folder does not exist.
    std::vector<std::string> names() const;
    std::string fileOf(const std::string& name) const;
    bool contains(const std::string& name) const;
    // Adds or replaces the shortcut in one step: a reader sees the old file or the new one.
    Result<void> store(const std::string& name, const std::string& bytes) const;

private:
    std::string folder_;
};

// $XDG_DATA_HOME/velmor/shortcuts (~/.local/share/velmor/shortcuts).
std::string defaultLibraryFolder();

// A shortcut's name must be able to name its file, and be shown as it is.
Result<void> checkShortcutName(const std::string& name);

constexpr const char* kShortcutSuffix = ".shortcut";

}  // namespace velmor::shortcuts
