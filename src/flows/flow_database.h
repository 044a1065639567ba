#pragma once

#include <cstdint>
#include <string>

struct sqlite3;

namespace velmor::flows {

// Opens the flow database at `path`, creating its folder, and brings the schema up to
// date. Answers null when the file cannot be used, after logging why; a file that exists
// but is not a sound SQLite database is then left exactly as it was.
sqlite3* openFlowDatabase(const std::string& path);

// The version a flow saved under `name` now gets: one past the newest stored, or 1.
int64_t nextFlowVersion(sqlite3* db, const std::string& name);

}  // namespace velmor::flows
