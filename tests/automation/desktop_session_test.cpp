// Starting a session on the fixture application and what the agent sees of it.
#include "desktop_test.h"

#include <algorithm>
#include <cctype>

namespace velmor::test {
namespace {

using nlohmann::json;

class DesktopSession : public DesktopTest {};

std::string upper(std::string text) {
    for (char& c : text) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return text;
}

TEST_F(DesktopSession, StartsByExactName) {
    json state = start();
    EXPECT_EQ(state.value("app", ""), app->name()) << state.dump();
    EXPECT_EQ(state.value("bundle_id", ""), app->bundleId());
    EXPECT_EQ(state.value("window_title", ""), "Velmor Fixture");
    EXPECT_EQ(session.targetPid(), app->pid());
}

TEST_F(DesktopSession, StartsByNameInAnotherLetterCase) {
    EXPECT_EQ(call("session_start", {{"app_name", upper(app->name())}}).value("app", ""), app->name());
}

TEST_F(DesktopSession, StartsByAFragmentOfTheName) {
    std::string fragment = "fixture-" + std::to_string(app->pid());
    EXPECT_EQ(call("session_start", {{"app_name", fragment}}).value("app", ""), app->name());
}

TEST_F(DesktopSession, StartsByBundleIdWhichDecidesAlone) {
    EXPECT_EQ(call("session_start", {{"bundle_id", app->bundleId()}}).value("app", ""), app->name());
    json missing = call("session_start", {{"bundle_id", "org.velmor.Nothing"}, {"app_name", app->name()}});
    EXPECT_TRUE(missing.value("error", "").starts_with("app not found. Running apps: ")) << missing.dump();
}

TEST_F(DesktopSession, UnknownAppAnswersTheRunningApps) {
    json missing = call("session_start", {{"app_name", "no-such-application"}});
    std::string error = missing.value("error", "");
    EXPECT_TRUE(error.starts_with("app not found. Running apps: ")) << error;
    EXPECT_NE(error.find(app->name()), std::string::npos) << error;
    EXPECT_FALSE(session.targetPid());

    json listed = call("list_apps").at("apps");
    json expected = {{"name", app->name()}, {"bundle_id", app->bundleId()}, {"pid", std::to_string(app->pid())}};
    EXPECT_NE(std::find(listed.begin(), listed.end(), expected), listed.end()) << listed.dump();
}

TEST_F(DesktopSession, StateHoldsTheToolsOfWhatIsOnScreen) {
    json state = start();
    // Equal labels numbered; the search field by its placeholder; the rows of a list that
    // the toolkit leaves out of its cache; the shown tab's page (in the tab) and not the
    // hidden one; neither the menu bar nor the closed combo box menu.
    EXPECT_EQ(state.at("available_tools"),
              json({"click_ok", "click_ok_2", "click_open_dialog", "fill_search", "toggle_wrap_lines", "set_volume",
                    "open_fruit", "click_alpha", "click_beta", "click_gamma", "select_general", "click_apply",
                    "select_advanced"}))
        << state.dump();
    EXPECT_EQ(state.at("element_count"), 13);
    EXPECT_EQ(valueIn(state, "fill_search"), "");
    EXPECT_EQ(valueIn(state, "toggle_wrap_lines"), "0");
    EXPECT_EQ(valueIn(state, "set_volume"), "25");
    EXPECT_EQ(valueIn(state, "select_general"), "1");
    EXPECT_EQ(valueIn(state, "click_ok"), "<none>");
    EXPECT_EQ(state.at("interactive_elements")[3],
              json({{"tool", "fill_search"}, {"role", "textfield"}, {"title", "Search"}, {"enabled", true}, {"value", ""}}));
    EXPECT_EQ(state.at("hierarchy_summary"), "Window 'Velmor Fixture' > TabGroup 'Settings'");

    // get_page_info answers the whole state again, not a diff.
    json again = call("get_page_info");
    EXPECT_EQ(again.at("available_tools"), state.at("available_tools"));
    EXPECT_TRUE(again.contains("interactive_elements"));
}

TEST_F(DesktopSession, ToolsListCarriesTheElementToolsWithTheirSchemas) {
    start();
    json tools = router.allTools();
    auto find = [&](const std::string& name) {
        for (const auto& tool : tools) {
            if (tool.at("name") == name) return tool;
        }
        return json();
    };
    EXPECT_EQ(find("fill_search").at("inputSchema").at("required"), json({"value"}));
    EXPECT_EQ(find("fill_search").at("inputSchema").at("properties").at("value").at("type"), "string");
    EXPECT_EQ(find("fill_search").at("description"), "Fill 'Search' text field. Current value: ''");
    EXPECT_EQ(find("set_volume").at("inputSchema").at("properties").at("value").at("type"), "number");
    EXPECT_EQ(find("set_volume").at("description"), "Set 'Volume' slider. Current value: 25");
    EXPECT_FALSE(find("click_ok_2").at("inputSchema").contains("required"));
    EXPECT_EQ(find("toggle_wrap_lines").at("description"), "Toggle 'Wrap lines' checkbox. Currently: unchecked");

    call("session_end");
    for (const auto& tool : router.allTools()) EXPECT_NE(tool.at("name"), "fill_search");
}

}  // namespace
}  // namespace velmor::test
