#include "tools/catalogue.h"
#include "tools/tool_registry.h"

#include <gtest/gtest.h>
#include <set>
#include <stdexcept>

namespace velmor::tools {
namespace {

using nlohmann::json;

json done(const Arguments&) { return {{"ok", true}}; }

// Velmor starts only when every tool the catalogue lists has a handler and no handler is
// bound to a name it does not list: either would be a tool the agent is told of and cannot
// use, or one it can call and is never told of.
TEST(ToolRegistry, StartsOnlyWithAHandlerForEveryListedToolAndNoOther) {
    ToolFamilies families = emptyToolFamilies();
    ToolRegistry registry(families);
    EXPECT_THROW(registry.handle("click_ok", done), std::invalid_argument);
    EXPECT_THROW(registry.handle("shortcut_hello", done), std::invalid_argument);
    for (const auto& name : fixedToolNames())
        if (name != "screenshot" && name != "fill_form") registry.handle(name, done);
    auto complete = registry.checkComplete();
    ASSERT_FALSE(complete);
    EXPECT_EQ(complete.error(), "fixed tools without a handler: screenshot, fill_form");
    // What a registry wired in part answers, as a test's is.
    EXPECT_EQ(registry.callFixed("screenshot", json::object()).result(), json({{"error", "screenshot is not available yet"}}));

    registry.handle("screenshot", done);
    registry.handle("fill_form", done);
    EXPECT_TRUE(registry.checkComplete());
    EXPECT_EQ(registry.callFixed("screenshot", json::object()).result(), json({{"ok", true}}));
}

struct NamedElements final : ElementToolFamily {
    std::vector<ElementTool> elementTools() override { return {{"click_save", "click", "Save"}}; }
    json performAction(const std::string&, const json&, const StepRecorder&) override { return json::object(); }
};

struct NamedWebTools final : BrowserToolFamily {
    json allBrowserTools() override { return json::array(); }
    json allWebTools() override { return json::array(); }
    bool hasTool(const std::string& name) override { return name == "lookup"; }
    json callBrowserTool(const std::string&, const json&) override { return json::object(); }
    std::optional<browser::WebTool> getWebTool(const std::string& name) override {
        if (name != "fill_email") return std::nullopt;
        return browser::WebTool{.name = name};
    }
    json executeInActiveBrowser(const browser::WebTool&, const std::optional<std::string>&) override {
        return json::object();
    }
};

// A name offered by more than one kind of tool belongs to the first of: fixed, element, web,
// Shortcut, page tools. A page scan leaves alone what comes before web tools, page agents
// everything else.
TEST(ToolRegistry, TellsEachLowerKindOfToolWhichNamesAreTaken) {
    ToolFamilies families = emptyToolFamilies();
    families.elements = std::make_shared<NamedElements>();
    families.browser = std::make_shared<NamedWebTools>();
    ToolRegistry registry(families);
    auto taken = [](const TakenToolNames& names) {
        std::set<std::string> found;
        for (const char* name : {"web_scan", "click_save", "fill_email", "shortcut_hello", "lookup", "other"})
            if (names.isTaken(name)) found.insert(name);
        return found;
    };
    EXPECT_EQ(taken(registry.takenForWebTools()), (std::set<std::string>{"web_scan", "click_save"}));
    EXPECT_EQ(taken(registry.takenForPageTools()),
              (std::set<std::string>{"web_scan", "click_save", "fill_email", "shortcut_hello"}));
}

}  // namespace
}  // namespace velmor::tools
