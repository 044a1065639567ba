#pragma once

#include <string>
#include <system_error>

namespace velmor::flows {

// The flow database holds what users typed and filled in. Its folder is made (if need be)
// readable by the user alone (0700), and the database file with its -wal and -shm
// companions likewise (0600); SQLite creates the companions with the database file's mode,
// so the file is created private before SQLite first opens it. Answers the error that kept
// the folder from being created, if any.
std::error_code makeFlowFilesPrivate(const std::string& databasePath);

}  // namespace velmor::flows
