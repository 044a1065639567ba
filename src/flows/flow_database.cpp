#include "flows/flow_database.h"

#include "base/log.h"
#include "flows/flow_schema.h"
#include "flows/private_files.h"
#include "flows/recording_leftovers.h"
#include "flows/sqlite_statement.h"

#include <algorithm>
#include <optional>
#include <sqlite3.h>

namespace velmor::flows {

namespace {

constexpr const char* kCategory = "flowstore";

// Another process (a second instance, the sqlite3 shell) may hold the write lock for a
// moment; waiting briefly beats dropping a step.
constexpr int kBusyTimeoutMs = 2000;

// Why the file must not be touched, or nothing when it is a sound database (an empty or
// new file counts as sound). Checked before anything writes, since even switching the
// journal mode writes to the header, and writing into a damaged file makes it worse.
std::optional<std::string> unusableReason(sqlite3* db) {
    Statement check(db, "PRAGMA quick_check");
    int rc = check.step();
    if (rc == SQLITE_BUSY || rc == SQLITE_LOCKED) return std::nullopt;  // held by another process, not damaged
    if (rc != SQLITE_ROW) return engineMessage(db);
    std::string verdict = check.text(0).value_or("");
    if (verdict == "ok") return std::nullopt;
    std::replace(verdict.begin(), verdict.end(), '\n', ' ');  // one log line
    return "damaged database (" + verdict + ")";
}

void execute(sqlite3* db, const char* sql) {
    char* message = nullptr;
    if (sqlite3_exec(db, sql, nullptr, nullptr, &message) != SQLITE_OK)
        Log::error(kCategory, std::string("SQL failed: ") + (message && *message ? message : "unknown"));
    sqlite3_free(message);
}

bool hasColumn(sqlite3* db, const char* table, const char* column) {
    Statement columns(db, "SELECT 1 FROM pragma_table_info(?) WHERE name = ?");
    columns.bindText(1, table);
    columns.bindText(2, column);
    return columns.step() == SQLITE_ROW;
}

// Files of earlier versions get the columns they lack; a current file is left as it is and
// nothing is logged.
void addMissingColumns(sqlite3* db) {
    for (const auto& migration : schema::kMigrations) {
        if (!hasColumn(db, migration.table, migration.column)) execute(db, migration.statement);
    }
}

}  // namespace

sqlite3* openFlowDatabase(const std::string& path) {
    std::error_code folderError = makeFlowFilesPrivate(path);

    sqlite3* db = nullptr;
    int rc = sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX,
                             nullptr);
    std::optional<std::string> reason;
    if (rc != SQLITE_OK) reason = folderError ? "cannot create folder: " + folderError.message() : engineMessage(db);
    else reason = unusableReason(db);
    if (reason) {
        Log::error(kCategory, "Failed to open database at " + path + ": " + *reason);
        sqlite3_close_v2(db);
        return nullptr;
    }

    sqlite3_busy_timeout(db, kBusyTimeoutMs);
    sqlite3_exec(db, "PRAGMA journal_mode=WAL", nullptr, nullptr, nullptr);
    sqlite3_exec(db, "PRAGMA foreign_keys=ON", nullptr, nullptr, nullptr);
    // With WAL, NORMAL still never corrupts the file; it only spares a disk flush per
    // recorded step, at the risk of losing the last steps on a power cut.
    sqlite3_exec(db, "PRAGMA synchronous=NORMAL", nullptr, nullptr, nullptr);
    // Searching and listing read every row; with the default 2 MB cache a store of ten
    // thousand flows is fetched from the file again on every call.
    sqlite3_exec(db, "PRAGMA cache_size=-32768", nullptr, nullptr, nullptr);
    for (const char* statement : schema::kCreateStatements) execute(db, statement);
    addMissingColumns(db);
    keepUnfinishedRecordings(db);
    return db;
}

int64_t nextFlowVersion(sqlite3* db, const std::string& name) {
    Statement select(db, "SELECT MAX(version) FROM flows WHERE name = ? AND name != '__recording__'");
    select.bindText(1, name);
    if (!select.nextRow()) return 1;
    auto latest = select.integer(0);
    return latest ? *latest + 1 : 1;
}

}  // namespace velmor::flows
