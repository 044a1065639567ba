#include "mcp/json_rpc.h"
#include "tools/tool_router.h"

#include <gtest/gtest.h>
#include <map>
#include <set>

namespace velmor::tools {
namespace {

using nlohmann::json;

// Families that answer who was asked, so the fall-through order can be observed.
struct FakeElements : ElementToolFamily {
    std::vector<ElementTool> tools;
    std::vector<ElementTool> elementTools() override { return tools; }
    json performAction(const std::string& name, const json& args, const StepRecorder&) override {
        return {{"by", "session"}, {"tool", name}, {"args", args}};
    }
};

struct FakeBrowser : BrowserToolFamily {
    std::set<std::string> pageAgentTools;
    std::map<std::string, browser::WebTool> webTools;
    json pageAgentAnswer = {{"by", "page-agent"}};
    json allBrowserTools() override {
        json list = json::array();
        for (const auto& name : pageAgentTools) list.push_back({{"name", name}, {"defer_loading", true}});
        return list;
    }
    json allWebTools() override {
        json list = json::array();
        for (const auto& [name, target] : webTools) list.push_back({{"name", name}});
        return list;
    }
    bool hasTool(const std::string& name) override { return pageAgentTools.count(name) > 0; }
    json callBrowserTool(const std::string&, const json&) override { return pageAgentAnswer; }
    std::optional<browser::WebTool> getWebTool(const std::string& name) override {
        auto it = webTools.find(name);
        return it == webTools.end() ? std::nullopt : std::optional(it->second);
    }
    json executeInActiveBrowser(const browser::WebTool& target, const std::optional<std::string>& value) override {
        return {{"by", "web"}, {"selector", target.selector}, {"value", value ? json(*value) : json(nullptr)}};
    }
};

struct FakeShortcuts : ShortcutFamily {
    json listing = {{"shortcuts", {"Hello World", "hello-world", "Log Café Visit!"}}};
    json listShortcuts() override { return listing; }
    json runShortcut(const std::string& name, const std::optional<std::string>& input) override {
        return {{"ran", name}, {"input", input ? json(*input) : json(nullptr)}};
    }
};

class Dispatcher : public ::testing::Test {
protected:
    Dispatcher()
        : router({elements, browser, shortcuts, [this](const StepRecord& step) { recorded.push_back(step); }}) {}

    std::shared_ptr<FakeElements> elements = std::make_shared<FakeElements>();
    std::shared_ptr<FakeBrowser> browser = std::make_shared<FakeBrowser>();
    std::shared_ptr<FakeShortcuts> shortcuts = std::make_shared<FakeShortcuts>();
    std::vector<StepRecord> recorded;
    ToolRouter router;
};

// A fixed tool's argument of the wrong type is named with the type its schema declares,
// before the tool runs; a missing or null one is left to the tool's own "missing" answer.
TEST_F(Dispatcher, WronglyTypedArgumentsOfFixedToolsAreNamedWithTheirType) {
    ToolRouter plain;
    plain.registry().handle("click_at", [](const Arguments&) { return json{{"error", "missing 'x' and 'y' coordinates"}}; });
    struct Case {
        std::string tool;
        json args;
        std::string error;
    };
    for (const Case& c : std::vector<Case>{
             {"click_at", {{"x", "left"}, {"y", 1}}, "'x' must be an integer"},
             {"click_at", {{"x", 10.5}, {"y", 1}}, "'x' must be an integer"},
             {"click_at", {{"y", 1}}, "missing 'x' and 'y' coordinates"},
             {"click_at", {{"x", nullptr}, {"y", 1}}, "missing 'x' and 'y' coordinates"},
             {"click_at", {{"x", 3.0}, {"y", 1}, {"button", 2}}, "'button' must be a string"},
             {"menu_click", {{"path", {"File", 1}}}, "'path' must be an array of strings"},
             {"menu_click", {{"path", "File"}}, "'path' must be an array of strings"},
             {"fill_form", {{"fields", "a"}}, "'fields' must be an object"},
             {"drag", {{"from_x", 1}, {"from_y", 1}, {"to_x", 2}, {"to_y", 2}, {"duration", "1"}}, "'duration' must be a number"},
             {"dry_run", {{"active", "yes"}}, "'active' must be a boolean"},
             {"prefetch_audio", {{"lines", {"hello"}}}, "'lines' must be an array of objects"},
         })
        EXPECT_EQ(plain.callTool(c.tool, c.args).result(), json({{"error", c.error}})) << c.tool << " " << c.args;
    EXPECT_EQ(plain.callTool("click_at", {{"x", 3.0}, {"y", 1}}).result(), json({{"error", "missing 'x' and 'y' coordinates"}}))
        << "a whole number written with a fraction part reaches the tool";
}

TEST_F(Dispatcher, ShortcutNamesNeverFallFurther) {
    browser->pageAgentTools = {"shortcut_ghost"};
    EXPECT_EQ(router.callTool("shortcut_hello_world", {{"input", "hi"}}).result(), json({{"ran", "Hello World"}, {"input", "hi"}}));
    // The second of two names that meet on one tool name runs under the numbered name.
    EXPECT_EQ(router.callTool("shortcut_hello_world_2", json::object()).result(),
              json({{"ran", "hello-world"}, {"input", nullptr}}));
    EXPECT_EQ(router.callTool("shortcut_log_caf_visit", {{"input", 3}}).result(),
              json({{"ran", "Log Café Visit!"}, {"input", nullptr}}));
    EXPECT_EQ(router.callTool("shortcut_ghost", json::object()).result(),
              json({{"error", "shortcut not found for tool: shortcut_ghost"}}));
    shortcuts->listing = {{"error", "shortcuts unavailable"}};
    EXPECT_EQ(router.callTool("shortcut_hello_world", json::object()).result(),
              json({{"error", "shortcut not found for tool: shortcut_hello_world"}}));
    EXPECT_TRUE(recorded.empty());
}

// A page agent's tool wins over a web tool of the same name; each is recorded with where
// it ran, and only when it succeeded.
TEST_F(Dispatcher, BrowserToolsPageAgentFirstAreRecordedWithTheirContextWhenTheySucceed) {
    browser->pageAgentTools = {"click_buy"};
    browser->webTools["click_buy"] = {.selector = "#buy", .actionType = "click", .urlPattern = "shop.example"};
    browser->webTools["fill_email"] = {.selector = "#email", .actionType = "fill", .urlPattern = "mail.example"};
    json args = {{"qty", 2}}, email = {{"value", "a@b.c"}};
    EXPECT_EQ(router.callTool("click_buy", args).result(), json({{"by", "page-agent"}}));
    EXPECT_EQ(router.callTool("fill_email", email).result(), json({{"by", "web"}, {"selector", "#email"}, {"value", "a@b.c"}}));
    browser->pageAgentAnswer = {{"error", "browser session closed"}};
    EXPECT_EQ(router.callTool("click_buy", json::object()).result(), json({{"error", "browser session closed"}}));

    ASSERT_EQ(recorded.size(), 2u);
    EXPECT_EQ(recorded[0].toolName, "click_buy");
    EXPECT_EQ(recorded[0].args, args);
    EXPECT_EQ(recorded[0].context, "browser-ws");
    EXPECT_EQ(recorded[0].pageUrl, std::nullopt);
    EXPECT_EQ(recorded[0].windowTitle, std::nullopt);
    EXPECT_EQ(recorded[1].args, email);
    EXPECT_EQ(recorded[1].pageUrl, "mail.example");
    EXPECT_EQ(recorded[1].context, "browser-dom:#email");
}

TEST_F(Dispatcher, EverythingElseGoesToTheSessionUnlessItIsAGoneWebTool) {
    json args = {{"value", "x"}, {"extra", {1, 2}}};
    EXPECT_EQ(router.callTool("fill_name", args).result(), json({{"by", "session"}, {"tool", "fill_name"}, {"args", args}}));
    EXPECT_EQ(router.callTool("", json::object()).result()["by"], "session");
    // Names are compared exactly.
    EXPECT_EQ(router.callTool("Screenshot", json::object()).result()["by"], "session");
    EXPECT_TRUE(recorded.empty()) << "the session records its own element tools";

    ToolRouter bare;
    EXPECT_EQ(bare.callTool("click_ok", json::object()).result(), json({{"error", "no active session"}}));

    // Once a page scan left web tools, a name nothing knows is a web tool that is gone, unless
    // an application's elements are scanned.
    browser->webTools["click_web"] = {.selector = "#w", .actionType = "click", .urlPattern = "x"};
    EXPECT_EQ(router.callTool("click_gone", json::object()).result(),
              json({{"error", "web tool 'click_gone' not found. Run web_scan first."}}));
    elements->tools = {{"click_ok", "click", "Click OK"}};
    EXPECT_EQ(router.callTool("click_gone", json::object()).result()["by"], "session");
}

TEST_F(Dispatcher, TheListAppendsBrowserWebElementAndShortcutToolsInOrderAndIsSentWhole) {
    browser->pageAgentTools = {"agent_tool"};
    browser->webTools["click_web"] = {.selector = "#w", .actionType = "click", .urlPattern = "x"};
    elements->tools = {{"click_ok", "click", "Click OK"}, {"fill_name", "fill", "Fill Name"}};
    json tools = router.allTools();
    ASSERT_EQ(tools.size(), 43u + 1 + 1 + 2 + 3);
    EXPECT_EQ(tools[43]["name"], "agent_tool");
    EXPECT_EQ(tools[44]["name"], "click_web");
    EXPECT_EQ(tools[45]["name"], "click_ok");
    EXPECT_EQ(tools[46]["inputSchema"]["required"], json({"value"}));
    // Shortcuts whose names meet on one tool name are both listed, the later one numbered.
    EXPECT_EQ(tools[47]["name"], "shortcut_hello_world");
    EXPECT_EQ(tools[48]["name"], "shortcut_hello_world_2");
    EXPECT_EQ(tools[49]["name"], "shortcut_log_caf_visit");
    EXPECT_EQ(ToolRouter().allTools().size(), 43u);
    // Run-time tools are annotated by their kind: page and web tools reach the web, element
    // tools act on this desktop, shortcuts may do anything.
    EXPECT_EQ(tools[43]["annotations"]["openWorldHint"], true);
    EXPECT_EQ(tools[44]["annotations"]["openWorldHint"], true);
    EXPECT_EQ(tools[45]["annotations"], json({{"readOnlyHint", false}, {"destructiveHint", true},
                                              {"idempotentHint", false}, {"openWorldHint", false}}));
    EXPECT_EQ(tools[49]["annotations"]["destructiveHint"], true);

    // A name is listed once, for the tool a call of it reaches: a web tool before an element
    // of the same name, never a fixed tool's, and "shortcut_" names only for shortcuts.
    browser->webTools["shortcut_hello_world"] = {.selector = "#s", .actionType = "click", .urlPattern = "x"};
    browser->webTools["screenshot"] = {.selector = "#p", .actionType = "click", .urlPattern = "x"};
    elements->tools.push_back({"click_web", "click", "Click the element"});
    std::set<std::string> names;
    for (const auto& tool : router.allTools())
        EXPECT_TRUE(names.insert(tool["name"].get<std::string>()).second) << tool["name"] << " listed twice";
    EXPECT_EQ(names.size(), 43u + 1 + 1 + 2 + 3);
    EXPECT_EQ(router.callTool("click_web", json::object()).result()["by"], "web");
    EXPECT_EQ(router.callTool("shortcut_hello_world", json::object()).result()["ran"], "Hello World");

    // tools/list is assembled from the fixed tools' text serialised once; it must read as
    // the envelope of the whole list built afresh, whatever the request's id.
    for (json id : {json(1), json("x"), json(-2.5)}) {
        json request = {{"jsonrpc", "2.0"}, {"method", "tools/list"}, {"id", id}};
        EXPECT_EQ(mcp::handleRequest(router, request.dump()), mcp::jsonRpc(id, {{"tools", tools}}));
    }
}

}  // namespace
}  // namespace velmor::tools
