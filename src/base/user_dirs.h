#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace velmor {

// The folder a line `NAME="$HOME/..."` or `NAME="/..."` of the XDG user-dirs file `dirsFile`
// (~/.config/user-dirs.dirs) names for `name` (XDG_VIDEOS_DIR, ...), read the way
// xdg-user-dir reads it: the last such line wins, backslashes quote the next character,
// other forms are ignored. Nothing when the file is missing, unreadable, larger than a
// settings file can be, or does not name the folder.
std::optional<std::string> userDirectory(const std::string& dirsFile, std::string_view name, const std::string& home);

}  // namespace velmor
