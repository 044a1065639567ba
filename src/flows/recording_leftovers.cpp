#include "flows/recording_leftovers.h"

#include "base/log.h"
#include "flows/flow_store.h"
#include "flows/sqlite_statement.h"

#include <sqlite3.h>
#include <string>

namespace velmor::flows {

void removeUnfinishedRecordings(sqlite3* db) {
    // Steps first: a database opened without foreign keys would not cascade.
    Statement steps(db, "DELETE FROM flow_steps WHERE flow_id IN (SELECT id FROM flows WHERE name = ?)");
    steps.bindText(1, kRecordingName);
    Statement flows(db, "DELETE FROM flows WHERE name = ?");
    flows.bindText(1, kRecordingName);
    if (steps.step() != SQLITE_DONE || flows.step() != SQLITE_DONE) {
        Log::error("flowstore", "Removing unfinished recordings failed: " + engineMessage(db));
        return;
    }
    if (int removed = sqlite3_changes(db); removed > 0)
        Log::info("flowstore", "Removed " + std::to_string(removed) + " unfinished recording(s) left by an earlier run");
}

}  // namespace velmor::flows
