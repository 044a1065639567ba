#include "tools/dry_run_script.h"

#include <gtest/gtest.h>

using velmor::tools::dryRunScript;
using Json = nlohmann::json;

TEST(DryRunScript, EachRecordedToolBecomesItsScriptAction) {
    auto step = [](const std::string& tool, Json args = Json::object()) {
        return Json{{"tool", tool}, {"args", args}};
    };
    Json steps = {step("speak", {{"text", "Hi"}}), step("speak", {{"text", "Bye"}, {"voice", "amy"}}),
                  step("navigate_home"), step("switch_tab_settings"), step("toggle_dark_mode"), step("click_save"),
                  step("fill_email", {{"value", "a@b.c"}}), step("fill_age", {{"value", 42}}),
                  step("press_key", {{"key", "return"}}), step("type_text", {{"text", "hello"}}),
                  step("web_action", {{"action", "click"}, {"selector", "#go"}}),
                  Json{{"tool", "press_key"}, {"args", {{"key", 13}}}}, Json{{"tool", "speak"}}};
    Json expected = {
        {{"action", "speak"}, {"text", "Hi"}, {"voice", "brian"}},
        {{"action", "speak"}, {"text", "Bye"}, {"voice", "amy"}},
        {{"action", "click"}, {"tool", "navigate_home"}},
        {{"action", "click"}, {"tool", "switch_tab_settings"}},
        {{"action", "click"}, {"tool", "toggle_dark_mode"}},
        {{"action", "click"}, {"tool", "click_save"}},
        {{"action", "fill"}, {"tool", "fill_email"}, {"value", "a@b.c"}},
        {{"action", "fill"}, {"tool", "fill_age"}, {"value", ""}},
        {{"action", "press_key"}, {"key", "return"}},
        {{"action", "type_text"}, {"text", "hello"}},
        {{"action", "execute"}, {"tool", "web_action"}, {"args", {{"action", "click"}, {"selector", "#go"}}}},
        {{"action", "press_key"}, {"key", ""}},
        {{"action", "speak"}, {"text", ""}, {"voice", "brian"}},
    };
    EXPECT_EQ(dryRunScript(steps, "brian"), expected);
    EXPECT_EQ(dryRunScript(Json::array({step("click_a"), 7}), "brian"), Json::array());
    EXPECT_EQ(dryRunScript(Json(), "brian"), Json::array());
}
