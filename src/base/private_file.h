#pragma once

#include <string>

#include "base/result.h"

namespace velmor {

// Makes `path` a new, empty file only its owner may read and write (0600, whatever the
// umask), failing when anything is already there (a symbolic link included). Programs that
// write into an existing file (ffmpeg with -y) keep its mode, so a file made this way first
// stays private.
Result<void> createPrivateFile(const std::string& path);

// Takes every permission for others and the group away from a regular file that has some,
// leaving the owner's as they are. True when the mode was changed. Symbolic links are not
// followed.
bool tightenToOwnerOnly(const std::string& path);

}  // namespace velmor
