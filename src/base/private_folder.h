#pragma once

#include <string>

namespace velmor {

// mkdir -p with mode 0700 for every folder it has to create; folders already there are left
// as they are. False when `dir` is not a folder and could not be made one (errno says why).
bool makePrivateDirectories(const std::string& dir);

// The folder part of a file path ("." for a bare name).
std::string parentFolder(const std::string& path);

}  // namespace velmor
