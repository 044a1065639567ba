#include "flow_fixture.h"
#include "tools/catalogue.h"
#include "tools/flow_tools.h"
#include "tools/tool_router.h"

#include <stdexcept>

using namespace velmor::test;
using namespace velmor::tools;

namespace {

// Every tool here answers as its arguments ask: a failure, a throw, or success.
Json outcome(const std::string& name, const Json& args) {
    if (args.contains("fail")) return velmor::errorResult(name + " did not take");
    if (args.contains("throw")) throw std::runtime_error("broken handler");
    return {{"done", name}};
}

// One element of a scanned window; a call that takes is recorded as the session records it,
// with the window it left behind.
struct OneElement : ElementToolFamily {
    std::vector<ElementTool> elementTools() override { return {{"click_save", "click", "Click Save"}}; }
    Json performAction(const std::string& name, const Json& args, const StepRecorder& record) override {
        Json answer = outcome(name, args);
        if (!velmor::isFailure(answer)) record({.toolName = name, .args = args, .windowTitle = "Notes", .elementCount = 7});
        return answer;
    }
};

// One page-agent tool and one scanned web tool.
struct OnePage : BrowserToolFamily {
    Json allBrowserTools() override { return Json::array({{{"name", "lookup"}}}); }
    Json allWebTools() override { return Json::array({{{"name", "fill_email"}}}); }
    bool hasTool(const std::string& name) override { return name == "lookup"; }
    Json callBrowserTool(const std::string& name, const Json& args) override { return outcome(name, args); }
    std::optional<velmor::browser::WebTool> getWebTool(const std::string& name) override {
        if (name != "fill_email") return std::nullopt;
        return velmor::browser::WebTool{.name = name, .selector = "#email", .actionType = "fill", .urlPattern = "mail.example"};
    }
    Json executeInActiveBrowser(const velmor::browser::WebTool&, const std::optional<std::string>& value) override {
        return outcome("fill_email", value ? Json{{*value, true}} : Json::object());
    }
};

class StepRecording : public FlowStoreTest {
protected:
    StepRecording() : router({std::make_shared<OneElement>(), std::make_shared<OnePage>(), {}, flowStepRecorder(store)}) {
        for (const auto& name : fixedToolNames())
            router.registry().handle(name, [name](const velmor::Arguments& args) { return outcome(name, args.raw()); });
    }

    // A failing call, a throwing one and a successful one of `name`; a web tool hears only
    // its value.
    void callThreeWays(const std::string& name, const std::string& argument = "") {
        auto args = [&](const std::string& how) {
            return argument.empty() ? Json{{how, true}} : Json{{argument, how}};
        };
        EXPECT_EQ(router.callTool(name, args("fail")).result(), velmor::errorResult(name + " did not take"));
        EXPECT_EQ(router.callTool(name, args("throw")).result(), velmor::errorResult(name + " failed: broken handler"));
        EXPECT_EQ(router.callTool(name, args("succeed")).result(), Json({{"done", name}}));
    }

    ToolRouter router;
};

}  // namespace

// A call of a recorded fixed tool, a page tool, a scanned web tool or an element tool is one
// step when it succeeds, with where it ran, and none when it fails or throws; calls of the
// other fixed tools are never steps.
TEST_F(StepRecording, EverySuccessfulCallOfARecordedToolIsExactlyOneStep) {
    store.beginRecording("Notes");
    Names recordedTools;
    for (const auto& declaration : fixedToolDeclarations()) {
        std::string name = declaration.entry["name"];
        callThreeWays(name);
        if (declaration.step == FlowStep::recorded) recordedTools.push_back(name);
    }
    EXPECT_EQ(recordedTools, (Names{"type_text", "press_key", "fill_cell", "speak"}));
    callThreeWays("lookup");
    callThreeWays("fill_email", "value");
    callThreeWays("click_save");

    auto saved = store.endRecording("everything");
    ASSERT_TRUE(saved) << saved.error();
    auto flow = store.loadFlow("everything");
    ASSERT_TRUE(flow) << flow.error();
    Names expected = recordedTools;
    expected.insert(expected.end(), {"lookup", "fill_email", "click_save"});
    EXPECT_EQ(toolsOf(*flow), expected);
    const Json& steps = flow->at("steps");
    EXPECT_EQ(steps[4].value("context", ""), "browser-ws");
    EXPECT_EQ(steps[5].value("context", ""), "browser-dom:#email");
    EXPECT_EQ(steps[5].value("page_url", ""), "mail.example");
    EXPECT_EQ(steps[5].value("args", Json()), Json({{"value", "succeed"}}));
    EXPECT_EQ(steps[6].value("window_title", ""), "Notes");
    EXPECT_EQ(steps[6].value("element_count", 0), 7);
}
