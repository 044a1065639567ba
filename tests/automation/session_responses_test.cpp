// The diff the session answers after an action, and the values it is based on.
#include "automation/session_responses.h"

#include <gtest/gtest.h>

namespace velmor::automation {
namespace {

using nlohmann::json;

AXElement tool(const std::string& name, std::optional<std::string> value) {
    return {.toolName = name, .toolPrefix = "click", .role = "AXButton", .title = name, .value = std::move(value)};
}

TEST(SessionDiff, ListsAddedRemovedAndChangedTools) {
    ToolValues previous = {{"kept", "same"}, {"emptied", std::nullopt}, {"typed", "old"}, {"gone", "1"}};
    ScanResult scan{.windowTitle = "W",
                    .elements = {tool("fresh", std::nullopt), tool("kept", "same"), tool("emptied", ""),
                                 tool("typed", "new"), tool("fresh", "again")}};
    json diff = diffResponse(scan, previous);

    EXPECT_EQ(diff.at("window_title"), "W");
    EXPECT_EQ(diff.at("focused_element"), "");
    EXPECT_EQ(diff.at("element_count"), 5);
    EXPECT_EQ(diff.at("available_tools"), json({"fresh", "kept", "emptied", "typed", "fresh"}));
    // A repeated new name is added as often as it occurs, in scan order.
    ASSERT_EQ(diff.at("added").size(), 2u);
    EXPECT_EQ(diff.at("added")[0], json({{"tool", "fresh"}, {"role", "button"}, {"title", "fresh"}, {"enabled", false}}));
    EXPECT_EQ(diff.at("added")[1].at("value"), "again");
    EXPECT_EQ(diff.at("removed"), json({"gone"}));
    // No value and an empty one differ, and both read as "".
    EXPECT_EQ(diff.at("changed"), json({{{"tool", "emptied"}, {"old_value", ""}, {"new_value", ""}},
                                        {{"tool", "typed"}, {"old_value", "old"}, {"new_value", "new"}}}));
    EXPECT_FALSE(diff.contains("diff"));

    json again = diffResponse(scan, previous);
    EXPECT_EQ(again.at("diff"), "no changes");
    EXPECT_FALSE(again.contains("added") || again.contains("removed") || again.contains("changed"));
}

TEST(SessionDiff, TheFirstOfEqualNamesCountsForDiffsAndTheLastForTheState) {
    ScanResult scan{.elements = {tool("ok", "first"), tool("ok", "second")}};
    EXPECT_EQ(stateToolValues(scan).at("ok"), "second");
    ToolValues previous;
    diffResponse(scan, previous);
    EXPECT_EQ(previous.at("ok"), "first");
}

}  // namespace
}  // namespace velmor::automation
