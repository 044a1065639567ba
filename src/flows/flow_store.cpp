#include "flows/flow_store.h"

#include "base/log.h"
#include "flows/flow_database.h"
#include "flows/flow_steps.h"
#include "flows/sqlite_statement.h"

#include <sqlite3.h>

namespace velmor::flows {

namespace {

constexpr const char* kCategory = "flowstore";

constexpr const char* kInsertFlow =
    "INSERT INTO flows (name, app_name, bundle_id, description, target_url) VALUES (?, ?, ?, ?, ?)";
constexpr const char* kInsertStep =
    "INSERT INTO flow_steps (flow_id, step_number, tool_name, args_json, window_title, element_count, page_url, "
    "context) VALUES (?, ?, ?, ?, ?, ?, ?, ?)";
constexpr const char* kDeleteFlow = "DELETE FROM flows WHERE id = ?";
constexpr const char* kSaveFlow =
    "UPDATE flows SET name = ?, description = ?, version = ?, updated_at = datetime('now') WHERE id = ?";

}  // namespace

FlowStore::FlowStore(const std::string& databasePath) : store_(Store{.db = openFlowDatabase(databasePath)}) {}

FlowStore::~FlowStore() {
    store_.withLocked([](Store& store) { sqlite3_close_v2(store.db); });
}

void FlowStore::beginRecording(const std::string& appName, const std::optional<std::string>& bundleId,
                               const std::optional<std::string>& targetUrl) {
    store_.withLocked([&](Store& store) {
        store.stepCounter = 0;
        Statement insert(store.db, kInsertFlow);
        insert.bindText(1, kRecordingName);
        insert.bindText(2, appName);
        insert.bindNullableText(3, bundleId);
        insert.bindText(4, kRecordingDescription);
        insert.bindNullableText(5, targetUrl);
        if (insert.step() != SQLITE_DONE) {
            // Keeping the previous recording open would file the new steps under it, with
            // step numbers starting over; recording nothing is the lesser harm.
            store.currentFlowId.reset();
            Log::error(kCategory, "Begin recording failed for " + appName + ": " + engineMessage(store.db));
            return;
        }
        store.currentFlowId = sqlite3_last_insert_rowid(store.db);
        Log::info(kCategory, "Begin recording flow " + std::to_string(*store.currentFlowId) + " for " + appName);
    });
}

void FlowStore::recordStep(const std::string& toolName, const nlohmann::json& args,
                           const std::optional<std::string>& windowTitle, std::optional<int64_t> elementCount,
                           const std::optional<std::string>& pageUrl, const std::optional<std::string>& context) {
    store_.withLocked([&](Store& store) {
        if (!store.currentFlowId) return;
        // The number is used up even when the insert fails, so a later step never takes it.
        int stepNumber = ++store.stepCounter;
        Statement insert(store.db, kInsertStep);
        if (!insert.prepared()) return;
        insert.bindInteger(1, *store.currentFlowId);
        insert.bindInteger(2, stepNumber);
        insert.bindText(3, toolName);
        insert.bindNullableText(4, argsJsonText(args));
        insert.bindNullableText(5, windowTitle);
        insert.bindNullableInteger(6, elementCount);
        insert.bindNullableText(7, pageUrl);
        insert.bindNullableText(8, context);
        if (int rc = insert.step(); rc != SQLITE_DONE)
            Log::error(kCategory, "Insert step failed: " + std::to_string(rc));
    });
}

Result<nlohmann::json> FlowStore::endRecording(const std::optional<std::string>& saveName) {
    return store_.withLocked([&](Store& store) -> Result<nlohmann::json> {
        if (!store.currentFlowId) return fail("not recording");
        const int64_t flowId = *store.currentFlowId;
        nlohmann::json steps = readSteps(store.db, flowId);
        const std::string stepCount = std::to_string(steps.size());

        std::string savedAs;
        if (!saveName || saveName->empty()) {
            // The steps go with the row through the cascading foreign key. A row left behind is
            // an unfinished recording, kept as an incomplete flow when the store next opens.
            Statement discard(store.db, kDeleteFlow);
            discard.bindInteger(1, flowId);
            if (discard.step() != SQLITE_DONE)
                Log::error(kCategory, "Discarding a recording failed: " + engineMessage(store.db));
            savedAs = saveName ? "" : "(not saved)";
        } else {
            const int64_t version = nextFlowVersion(store.db, *saveName);
            const std::string versionText = std::to_string(version);
            Statement save(store.db, kSaveFlow);
            save.bindText(1, *saveName);
            save.bindText(2, "Flow with " + stepCount + " steps (v" + versionText + ")");
            save.bindInteger(3, version);
            save.bindInteger(4, flowId);
            bool saved = save.step() == SQLITE_DONE;
            store.currentFlowId.reset();
            store.stepCounter = 0;
            if (!saved) {
                // The steps stay with the unfinished recording, kept as an incomplete flow when the
                // store next opens; the agent must not believe the flow can be loaded now.
                Log::error(kCategory, "Save flow '" + *saveName + "' failed: " + engineMessage(store.db));
                return fail("db error");
            }
            Log::info(kCategory, "Saved flow '" + *saveName + "' v" + versionText + " with " + stepCount + " steps");
            savedAs = *saveName;
        }
        store.currentFlowId.reset();
        store.stepCounter = 0;
        return nlohmann::json{{"step_count", steps.size()}, {"steps", std::move(steps)}, {"saved_as", savedAs}};
    });
}

bool FlowStore::isRecording() const {
    return store_.withLocked([](const Store& store) { return store.currentFlowId.has_value(); });
}

}  // namespace velmor::flows
