#pragma once

struct sqlite3;

namespace velmor::flows {

// Removes the placeholder rows (and their steps) of recordings that an earlier run never
// finished, because it was killed. Nothing lists, searches or finishes them, so they only
// take room. Runs at opening, before this run starts a recording of its own.
void removeUnfinishedRecordings(sqlite3* db);

}  // namespace velmor::flows
