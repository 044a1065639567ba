// The read side of the flow store: listing, searching, loading and deleting saved flows.
#include "flows/flow_store.h"

#include "base/log.h"
#include "flows/flow_steps.h"
#include "flows/sqlite_statement.h"

#include <sqlite3.h>

namespace velmor::flows {

namespace {

constexpr const char* kListFlows =
    "SELECT id, name, app_name, bundle_id, description, created_at, run_count,\n"
    "       (SELECT COUNT(*) FROM flow_steps WHERE flow_id = flows.id) as step_count,\n"
    "       COALESCE(version, 1) as version, target_url\n"
    "FROM flows WHERE name != '__recording__' ORDER BY updated_at DESC";

// Finds the same flows, in the same order, as a DISTINCT over flows LEFT JOIN flow_steps
// with the five LIKE terms would; that form evaluates the flow's terms once per step and
// its step count once per matching step, which took 40-100 ms on 10,000 flows. Here the
// steps are scanned once, straight through the table, into a set of flow ids.
constexpr const char* kSearchFlows =
    "SELECT f.id, f.name, f.app_name, f.bundle_id, f.description,\n"
    "       f.created_at, f.run_count,\n"
    "       (SELECT COUNT(*) FROM flow_steps WHERE flow_id = f.id) as step_count,\n"
    "       COALESCE(f.version, 1) as version, f.target_url\n"
    "FROM flows f\n"
    "WHERE f.name != '__recording__'\n"
    "  AND (f.name LIKE ? OR f.app_name LIKE ? OR f.target_url LIKE ?\n"
    "       OR f.id IN (SELECT flow_id FROM flow_steps WHERE tool_name LIKE ? OR context LIKE ?))\n"
    "ORDER BY f.updated_at DESC\n"
    "LIMIT 10";

constexpr const char* kNewestVersion =
    "SELECT id, app_name, bundle_id, version, target_url FROM flows WHERE name = ? ORDER BY version DESC LIMIT 1";
constexpr const char* kCountUse =
    "UPDATE flows SET run_count = run_count + 1, updated_at = datetime('now') WHERE id = ?";
constexpr const char* kFirstWithName = "SELECT id FROM flows WHERE name = ?";
constexpr const char* kDeleteSteps = "DELETE FROM flow_steps WHERE flow_id = ?";
constexpr const char* kDeleteFlow = "DELETE FROM flows WHERE id = ?";

// Columns shared by the list and search queries.
enum Column { kId, kName, kAppName, kBundleId, kDescription, kCreatedAt, kRunCount, kStepCount, kVersion, kTargetUrl };

void putText(nlohmann::json& flow, const char* key, std::optional<std::string> value) {
    if (value) flow[key] = std::move(*value);
}

nlohmann::json summary(const Statement& row) {
    nlohmann::json flow = nlohmann::json::object();
    flow["name"] = row.text(kName).value_or("");
    flow["app_name"] = row.text(kAppName).value_or("");
    flow["step_count"] = row.integerOr(kStepCount, 0);
    flow["run_count"] = row.integerOr(kRunCount, 0);
    flow["version"] = row.integerOr(kVersion, 1);
    putText(flow, "bundle_id", row.text(kBundleId));
    putText(flow, "description", row.text(kDescription));
    return flow;
}

Failure notFound(const std::string& name) { return fail("flow '" + name + "' not found"); }

Failure dbError() { return fail("db error"); }

}  // namespace

nlohmann::json FlowStore::listFlows() const {
    return store_.withLocked([&](const Store& store) -> nlohmann::json {
        nlohmann::json flows = nlohmann::json::array();
        Statement select(store.db, kListFlows);
        while (select.nextRow()) {
            nlohmann::json flow = summary(select);
            flow["id"] = select.integerOr(kId, 0);
            putText(flow, "created_at", select.text(kCreatedAt));
            flows.push_back(std::move(flow));
        }
        return flows;
    });
}

nlohmann::json FlowStore::searchFlows(const std::string& query) const {
    return store_.withLocked([&](const Store& store) -> nlohmann::json {
        nlohmann::json flows = nlohmann::json::array();
        Statement select(store.db, kSearchFlows);
        // Left unescaped on purpose: "%" and "_" act as wildcards, and callers may rely on it.
        const std::string pattern = "%" + query + "%";
        for (int parameter = 1; parameter <= 5; ++parameter) select.bindText(parameter, pattern);
        while (select.nextRow()) {
            nlohmann::json flow = summary(select);
            putText(flow, "target_url", select.text(kTargetUrl));
            flow["steps"] = readSteps(store.db, select.integerOr(kId, 0));
            flows.push_back(std::move(flow));
        }
        return flows;
    });
}

Result<nlohmann::json> FlowStore::loadFlow(const std::string& name) {
    return store_.withLocked([&](Store& store) -> Result<nlohmann::json> {
        Statement select(store.db, kNewestVersion);
        if (!select.prepared()) return dbError();
        select.bindText(1, name);
        if (!select.nextRow()) return notFound(name);
        const int64_t flowId = select.integerOr(0, 0);
        nlohmann::json flow = nlohmann::json::object();
        flow["name"] = name;
        flow["app_name"] = select.text(1).value_or("");
        flow["version"] = select.integerOr(3, 1);
        putText(flow, "bundle_id", select.text(2));
        putText(flow, "target_url", select.text(4));

        // Loading moves the flow to the top of the list; a flow that cannot be moved there is
        // still worth loading.
        Statement countUse(store.db, kCountUse);
        countUse.bindInteger(1, flowId);
        if (countUse.step() != SQLITE_DONE) Log::error("flowstore", "Counting the use of flow '" + name + "' failed");

        nlohmann::json steps = readSteps(store.db, flowId);
        flow["step_count"] = steps.size();
        flow["steps"] = std::move(steps);
        return flow;
    });
}

Result<nlohmann::json> FlowStore::deleteFlow(const std::string& name) {
    return store_.withLocked([&](Store& store) -> Result<nlohmann::json> {
        int64_t flowId = 0;
        {
            Statement select(store.db, kFirstWithName);
            if (!select.prepared()) return dbError();
            select.bindText(1, name);
            if (!select.nextRow()) return notFound(name);
            flowId = select.integerOr(0, 0);
        }
        Statement deleteSteps(store.db, kDeleteSteps);
        deleteSteps.bindInteger(1, flowId);
        if (deleteSteps.step() != SQLITE_DONE) return dbError();
        Statement removeFlow(store.db, kDeleteFlow);
        removeFlow.bindInteger(1, flowId);
        if (removeFlow.step() != SQLITE_DONE) return dbError();
        return nlohmann::json{{"status", "deleted"}, {"name", name}};
    });
}

}  // namespace velmor::flows
