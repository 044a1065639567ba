#include "tools/catalogue.h"
#include "tools/tool_router.h"

#include <gtest/gtest.h>
#include <set>

namespace velmor::tools {
namespace {

using nlohmann::json;

TEST(StaticCatalogue, HasTheFortyToolsInOrder) {
    const std::vector<std::string> expected = {
        "session_start", "session_end", "get_page_info", "list_apps", "screenshot", "type_text", "press_key",
        "click_at", "mouse_move", "scroll", "drag", "get_clipboard", "set_clipboard", "list_menus", "menu_click",
        "menu_hover", "get_windows", "set_window_frame", "activate_app", "search_flows", "list_flows", "load_flow",
        "delete_flow", "start_recording", "stop_recording", "configure_tts", "speak", "prefetch_audio", "dry_run",
        "record_narrated_demo", "inject_webmcp", "web_scan", "web_action", "web_navigate", "web_content",
        "web_execute_js", "fill_form", "list_shortcuts", "run_shortcut", "create_shortcut"};
    json tools = staticTools();
    ASSERT_EQ(tools.size(), expected.size());
    for (size_t i = 0; i < expected.size(); ++i) EXPECT_EQ(tools[i]["name"], expected[i]) << i;
    // The dispatcher knows exactly the catalogue's fixed names.
    EXPECT_EQ(std::set<std::string>(fixedToolNames().begin(), fixedToolNames().end()),
              std::set<std::string>(expected.begin(), expected.end()));
}

TEST(StaticCatalogue, SchemasHaveOnlyTypeAndDescriptionAndRequiredOnlyWhenNeeded) {
    static const std::set<std::string> kTypes = {"string", "integer", "number", "boolean", "array", "object"};
    for (const auto& t : staticTools()) {
        ASSERT_EQ(t.size(), 3u) << t["name"];  // name, description, inputSchema; no defer_loading
        const json& schema = t["inputSchema"];
        EXPECT_EQ(schema["type"], "object");
        EXPECT_TRUE(schema["properties"].is_object());
        if (schema.contains("required")) {
            EXPECT_FALSE(schema["required"].empty()) << t["name"];
            for (const auto& name : schema["required"]) EXPECT_TRUE(schema["properties"].contains(name));
        }
        for (const auto& [name, parameter] : schema["properties"].items()) {
            EXPECT_EQ(parameter.size(), 2u) << t["name"] << "." << name;  // no items, no nested properties
            EXPECT_TRUE(kTypes.count(parameter["type"].get<std::string>())) << name;
            EXPECT_FALSE(parameter["description"].get<std::string>().empty());
        }
    }
}

TEST(StaticCatalogue, SpotChecksOfWordingAndSchemas) {
    json tools = staticTools();
    auto find = [&](const std::string& name) {
        for (const auto& t : tools)
            if (t["name"] == name) return t;
        return json();
    };
    EXPECT_EQ(find("session_start")["description"],
              "Start controlling a desktop application. Activates it, scans its UI, and returns all interactive elements as available tools.");
    EXPECT_EQ(find("click_at")["inputSchema"]["required"], json({"x", "y"}));
    EXPECT_EQ(find("click_at")["inputSchema"]["properties"]["clicks"]["type"], "integer");
    EXPECT_EQ(find("drag")["inputSchema"]["properties"]["duration"],
              json({{"type", "number"}, {"description", "Drag duration in seconds (default: 0.5)"}}));
    EXPECT_EQ(find("menu_click")["inputSchema"]["properties"]["path"]["type"], "array");
    EXPECT_EQ(find("fill_form")["inputSchema"]["properties"]["fields"]["type"], "object");
    EXPECT_EQ(find("dry_run")["inputSchema"]["required"], json({"active"}));
    EXPECT_EQ(find("list_apps")["inputSchema"], json({{"type", "object"}, {"properties", json::object()}}));
    EXPECT_EQ(find("set_window_frame")["inputSchema"].count("required"), 0u);
    EXPECT_TRUE(find("web_scan")["description"].get<std::string>().ends_with(
        ". Works on any site including those with strict CSP."));
    EXPECT_NE(find("press_key")["description"].get<std::string>().find("'cmd' means the Control key"),
              std::string::npos);
    // The agent is told about this desktop, not another platform's.
    for (const auto& t : tools) {
        std::string words = t.dump();
        for (const char* foreign : {"macOS", "cmd+s", "Keychain", "Apple"})
            EXPECT_EQ(words.find(foreign), std::string::npos) << t["name"] << " mentions " << foreign;
    }
}

TEST(ElementTools, FillTakesARequiredStringAndSetARequiredNumber) {
    json fill = elementToolDescription({"fill_name", "fill", "Fill the Name field"});
    EXPECT_EQ(fill["inputSchema"], json({{"type", "object"},
                                         {"properties", {{"value", {{"type", "string"}, {"description", "Text to fill in"}}}}},
                                         {"required", {"value"}}}));
    json set = elementToolDescription({"set_volume", "set", "Set Volume"});
    EXPECT_EQ(set["inputSchema"]["properties"]["value"], json({{"type", "number"}, {"description", "Value to set"}}));
    EXPECT_EQ(set["inputSchema"]["required"], json({"value"}));
    json click = elementToolDescription({"click_ok", "click", "Click OK"});
    EXPECT_EQ(click, json({{"name", "click_ok"}, {"description", "Click OK"},
                           {"inputSchema", {{"type", "object"}, {"properties", json::object()}}}}));
    // Only the exact prefix counts.
    EXPECT_FALSE(elementToolDescription({"fill_x", "Fill", "d"})["inputSchema"].contains("required"));
}

TEST(ShortcutTools, NamesFollowTheSlugRule) {
    EXPECT_EQ(shortcutToolName("Log Café Visit!"), "shortcut_log_caf_visit");
    EXPECT_EQ(shortcutToolName("Hello World"), "shortcut_hello_world");
    EXPECT_EQ(shortcutToolName("hello-world"), "shortcut_hello_world");
    EXPECT_EQ(shortcutToolName("!!!"), "shortcut_");
    EXPECT_EQ(shortcutToolName(""), "shortcut_");
    EXPECT_EQ(shortcutToolName("  Morning  Routine 2  "), "shortcut_morning_routine_2");
    EXPECT_EQ(shortcutToolName("日本語"), "shortcut_");
    // Stripping happens before the cut, so a cut landing on "_" keeps it.
    std::string name = std::string(49, 'a') + " b" + std::string(10, 'c');
    EXPECT_EQ(shortcutToolName(name), "shortcut_" + std::string(49, 'a') + "_");
    EXPECT_EQ(shortcutToolName(std::string(60, 'Z')), "shortcut_" + std::string(50, 'z'));
}

TEST(ShortcutTools, DescriptionsAreDeferredAndTakeAnOptionalInput) {
    json t = shortcutToolDescription("Log Café Visit!");
    EXPECT_EQ(t["description"], "Run the shortcut: \"Log Café Visit!\"");
    EXPECT_EQ(t["defer_loading"], true);
    EXPECT_EQ(t["inputSchema"], json({{"type", "object"},
                                      {"properties", {{"input", {{"type", "string"},
                                                                 {"description", "Optional text input for the shortcut"}}}}}}));
    EXPECT_EQ(shortcutNames({{"shortcuts", {"a", "b"}}}), (std::vector<std::string>{"a", "b"}));
    EXPECT_TRUE(shortcutNames({{"shortcuts", {"a", 1}}}).empty());
    EXPECT_TRUE(shortcutNames({{"error", "no shortcuts"}}).empty());
}

}  // namespace
}  // namespace velmor::tools
