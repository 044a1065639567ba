#include "flows/recording_leftovers.h"

#include "base/log.h"
#include "flows/flow_database.h"
#include "flows/flow_store.h"
#include "flows/sqlite_statement.h"

#include <sqlite3.h>
#include <string>
#include <vector>

namespace velmor::flows {

namespace {

constexpr const char* kCategory = "flowstore";

struct Leftover {
    int64_t id;
    std::string appName;
    int64_t steps;
};

void removeEmptyRecordings(sqlite3* db) {
    Statement empty(db, "DELETE FROM flows WHERE name = ? AND id NOT IN (SELECT flow_id FROM flow_steps)");
    empty.bindText(1, kRecordingName);
    if (empty.step() != SQLITE_DONE) {
        Log::error(kCategory, "Removing empty unfinished recordings failed: " + engineMessage(db));
        return;
    }
    if (int removed = sqlite3_changes(db); removed > 0)
        Log::info(kCategory, "Removed " + std::to_string(removed) + " unfinished recording(s) without steps left by an earlier run");
}

std::vector<Leftover> leftovers(sqlite3* db) {
    Statement select(db,
                     "SELECT f.id, f.app_name, (SELECT COUNT(*) FROM flow_steps s WHERE s.flow_id = f.id) "
                     "FROM flows f WHERE f.name = ? ORDER BY f.id");
    select.bindText(1, kRecordingName);
    std::vector<Leftover> found;
    while (select.nextRow())
        found.push_back({select.integerOr(0, 0), select.text(1).value_or(""), select.integerOr(2, 0)});
    return found;
}

}  // namespace

void keepUnfinishedRecordings(sqlite3* db) {
    removeEmptyRecordings(db);
    for (const auto& leftover : leftovers(db)) {
        const std::string name = leftover.appName.empty() ? std::string(kIncompleteSuffix + 1)
                                                          : leftover.appName + kIncompleteSuffix;
        const int64_t version = nextFlowVersion(db, name);
        Statement keep(db, "UPDATE flows SET name = ?, description = ?, version = ? WHERE id = ?");
        keep.bindText(1, name);
        keep.bindText(2, "Incomplete recording with " + std::to_string(leftover.steps) + " steps (v" +
                             std::to_string(version) + ")");
        keep.bindInteger(3, version);
        keep.bindInteger(4, leftover.id);
        if (keep.step() != SQLITE_DONE) {
            Log::error(kCategory, "Keeping an unfinished recording failed, it stays for the next start: " + engineMessage(db));
            return;
        }
        Log::info(kCategory, "Kept an unfinished recording of " + std::to_string(leftover.steps) + " steps as '" + name +
                                 "' v" + std::to_string(version));
    }
}

}  // namespace velmor::flows
