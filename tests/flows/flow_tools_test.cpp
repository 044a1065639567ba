#include "flow_fixture.h"
#include "tools/flow_tools.h"

using namespace velmor::test;
using velmor::tools::StepRecord;

namespace {

class FlowToolsTest : public FlowStoreTest {
protected:
    FlowToolsTest() { velmor::tools::installFlowTools(router, store, [this] { return voice; }); }

    Json call(const std::string& name, const Json& args = Json::object()) { return router.callTool(name, args).result(); }

    std::string voice = "brian";
    velmor::tools::ToolRouter router;
};

}  // namespace

TEST_F(FlowToolsTest, AnswersAndArgumentErrorsAreShapedForTheAgent) {
    EXPECT_EQ(call("search_flows", {{"query", 3}}), (Json{{"error", "'query' must be a string"}}));
    EXPECT_EQ(call("search_flows"), (Json{{"error", "missing 'query'"}}));
    EXPECT_EQ(call("load_flow"), (Json{{"error", "missing 'name'"}}));
    EXPECT_EQ(call("delete_flow", {{"name", Json::array()}}), (Json{{"error", "'name' must be a string"}}));
    EXPECT_EQ(call("dry_run", {{"active", "true"}}), (Json{{"error", "'active' must be a boolean"}}));
    EXPECT_EQ(call("dry_run"), (Json{{"error", "missing 'active' (true/false)"}}));

    saveFlow("login", "Browser", {"click_sign_in"});
    Json found = store.searchFlows("sign");
    EXPECT_EQ(call("search_flows", {{"query", "sign_in"}}), (Json{{"matches", 1}, {"flows", found}}));
    EXPECT_EQ(call("search_flows", {{"query", "payroll"}}),
              (Json{{"matches", 0},
                    {"message", "No saved flows match 'payroll'. You'll need to figure out the steps from scratch."}}));
    EXPECT_EQ(call("list_flows"), (Json{{"flows", store.listFlows()}}));
    EXPECT_EQ(call("load_flow", {{"name", "nope"}}), (Json{{"error", "flow 'nope' not found"}}));
    EXPECT_EQ(call("delete_flow", {{"name", "login"}}), (Json{{"status", "deleted"}, {"name", "login"}}));
}

TEST_F(FlowToolsTest, DryRunTurnsRecordedStepsIntoAScriptAndKeepsNothing) {
    EXPECT_EQ(call("dry_run", {{"active", true}}),
              (Json{{"status", "dry_run_started"},
                    {"message", "Walk through the flow now. Every action is being recorded. "
                                "Call dry_run(active: false) when done."}}));
    auto record = velmor::tools::flowStepRecorder(store);
    record(StepRecord{.toolName = "speak", .args = {{"text", "Hello"}}});
    record(StepRecord{.toolName = "toggle_wifi", .windowTitle = "Settings", .elementCount = 4});
    voice = "amy";

    EXPECT_EQ(call("dry_run", {{"active", false}}),
              (Json{{"status", "dry_run_complete"},
                    {"step_count", 2},
                    {"script", {{{"action", "speak"}, {"text", "Hello"}, {"voice", "amy"}},
                                {{"action", "click"}, {"tool", "toggle_wifi"}}}}}));
    EXPECT_EQ(raw.integer("SELECT COUNT(*) FROM flows") + raw.integer("SELECT COUNT(*) FROM flow_steps"), 0);
    EXPECT_EQ(call("dry_run", {{"active", false}}),
              (Json{{"status", "dry_run_complete"}, {"step_count", 0}, {"script", Json::array()}}));
}
