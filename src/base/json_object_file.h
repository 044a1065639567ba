#pragma once

#include "base/result.h"

#include <nlohmann/json.hpp>
#include <string>

namespace velmor {

// The write discipline shared by every writer of a JSON settings file: read the file,
// start from its object (or from an empty one when it is missing or not an object), set
// only the writer's own keys, and replace the file atomically. Keys written by others
// survive. The files hold secrets (bearer token, API keys), so a missing directory is
// created with mode 0700 and the file is always left with mode 0600.

// The file's top-level object, or an empty object when it is missing, unreadable or
// not a JSON object.
nlohmann::json readJsonObjectFile(const std::string& path);

// Merges `keys` (an object) into the file. Fails, saying why, when the file could not be
// written; the previous file is then left as it was.
Result<void> mergeIntoJsonObjectFile(const std::string& path, const nlohmann::json& keys);

// Removes `key` from the file the same way; a missing key or file leaves everything as it was.
Result<void> removeFromJsonObjectFile(const std::string& path, const std::string& key);

// The same discipline for any file: missing folders made with mode 0700, the file replaced
// atomically and left with mode 0600. When it could not be written, the previous file is
// left as it was.
Result<void> replaceFilePrivately(const std::string& path, const std::string& bytes);

}  // namespace velmor
