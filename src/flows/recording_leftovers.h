#pragma once

struct sqlite3;

namespace velmor::flows {

// What an incomplete flow's name ends with: the name the flow list shows says that the
// recording never finished.
inline constexpr const char* kIncompleteSuffix = " recording (incomplete)";

// Deals with the placeholder rows of recordings that an earlier run never finished (it was
// killed, or the disk filled so that saving failed). Steps that were stored are kept: such a
// recording becomes a flow named after its application with kIncompleteSuffix, saved as that
// name's next version. One without steps holds nothing and is removed. A placeholder that
// cannot be renamed (the disk is still full) stays for the next opening; nothing is deleted
// on a failure. Runs at opening, before this run starts a recording of its own.
void keepUnfinishedRecordings(sqlite3* db);

}  // namespace velmor::flows
