// The diff the session answers after an action, and the values it is based on.
#include "automation/session_responses.h"

#include <gtest/gtest.h>

namespace velmor::automation {
namespace {

using nlohmann::json;
using Role = platform::ElementRole;

ScannedElement tool(const std::string& name, std::optional<std::string> value, bool enabled = false) {
    return {.toolName = name, .toolPrefix = "click", .role = Role::button, .title = name, .value = std::move(value),
            .enabled = enabled};
}

TEST(SessionDiff, ListsAddedRemovedAndChangedTools) {
    SeenState previous{.tools = {{"kept", {"same"}},
                                 {"emptied", {std::nullopt}},
                                 {"typed", {"old"}},
                                 {"gone", {"1"}},
                                 {"undo", {std::nullopt, false}}}};
    ScanResult scan{.windowTitle = "W",
                    .elements = {tool("fresh", std::nullopt), tool("kept", "same"), tool("emptied", ""),
                                 tool("typed", "new"), tool("fresh", "again"), tool("undo", std::nullopt, true)}};
    json diff = diffResponse(scan, previous);

    EXPECT_EQ(diff.at("window_title"), "W");
    EXPECT_EQ(diff.at("focused_element"), "");
    EXPECT_EQ(diff.at("element_count"), 6);
    EXPECT_EQ(diff.at("available_tools"), json({"fresh", "kept", "emptied", "typed", "fresh", "undo"}));
    // A repeated new name is added as often as it occurs, in scan order.
    ASSERT_EQ(diff.at("added").size(), 2u);
    EXPECT_EQ(diff.at("added")[0], json({{"tool", "fresh"}, {"role", "button"}, {"title", "fresh"}, {"enabled", false}}));
    EXPECT_EQ(diff.at("added")[1].at("value"), "again");
    EXPECT_EQ(diff.at("removed"), json({"gone"}));
    // No value and an empty one differ, and both read as "". A tool that became available
    // is changed too, and says so.
    EXPECT_EQ(diff.at("changed"), json({{{"tool", "emptied"}, {"old_value", ""}, {"new_value", ""}},
                                        {{"tool", "typed"}, {"old_value", "old"}, {"new_value", "new"}},
                                        {{"tool", "undo"}, {"old_value", ""}, {"new_value", ""},
                                         {"old_enabled", false}, {"new_enabled", true}}}));
    EXPECT_FALSE(diff.contains("diff"));

    json again = diffResponse(scan, previous);
    EXPECT_EQ(again.at("diff"), "no changes");
    EXPECT_FALSE(again.contains("added") || again.contains("removed") || again.contains("changed"));
}

// A calculator's result or a status line is a label, no tool: the answer shows what labels
// show that they did not before, a repeated text as often as it is new.
TEST(SessionDiff, ListsTextsLabelsShowThatTheyDidNotBefore) {
    ScanResult before{.elements = {tool("equals", std::nullopt)}, .shownTexts = {"Ready", "0", "Mode"}};
    SeenState seen = seenState(before);
    ScanResult after{.elements = {tool("equals", std::nullopt)}, .shownTexts = {"7×6", "=", "42", "Mode", "42"}};
    json diff = diffResponse(after, seen);
    EXPECT_EQ(diff.at("new_text"), json({"7×6", "=", "42", "42"}));
    EXPECT_FALSE(diff.contains("diff"));
    EXPECT_FALSE(diff.contains("added") || diff.contains("removed") || diff.contains("changed"));

    EXPECT_EQ(diffResponse(after, seen).at("diff"), "no changes");
    after.shownTexts.assign(100, "line");
    EXPECT_EQ(diffResponse(after, seen).at("new_text").size(), 20u) << "a screenful at most";
}

TEST(SessionDiff, TheFirstOfEqualNamesCountsForDiffsAndTheLastForTheState) {
    ScanResult scan{.elements = {tool("ok", "first"), tool("ok", "second")}};
    EXPECT_EQ(seenState(scan).tools.at("ok").value, "second");
    SeenState previous;
    diffResponse(scan, previous);
    EXPECT_EQ(previous.tools.at("ok").value, "first");
}

}  // namespace
}  // namespace velmor::automation
