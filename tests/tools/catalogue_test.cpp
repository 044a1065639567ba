#include "tools/catalogue.h"
#include "tools/tool_router.h"

#include <gtest/gtest.h>
#include <set>

namespace velmor::tools {
namespace {

using nlohmann::json;

// The dispatcher knows exactly the catalogue's names, and every schema keeps to what all
// clients read: typed, described parameters, and "required" only when something is.
TEST(StaticCatalogue, DescribesEachFixedToolOnceInTheShapeClientsRead) {
    static const std::set<std::string> kTypes = {"string", "integer", "number", "boolean", "array", "object"};
    json tools = staticTools();
    std::set<std::string> names;
    for (const auto& t : tools) {
        names.insert(t["name"].get<std::string>());
        ASSERT_EQ(t.size(), 5u) << t["name"];  // name, title, description, inputSchema, annotations; no defer_loading
        EXPECT_FALSE(t["title"].get<std::string>().empty());
        EXPECT_EQ(t["annotations"]["title"], t["title"]);
        const json& schema = t["inputSchema"];
        EXPECT_EQ(schema["type"], "object");
        EXPECT_TRUE(schema["properties"].is_object());
        if (schema.contains("required")) {
            EXPECT_FALSE(schema["required"].empty()) << t["name"];
            for (const auto& name : schema["required"]) EXPECT_TRUE(schema["properties"].contains(name));
        }
        for (const auto& [name, parameter] : schema["properties"].items()) {
            EXPECT_EQ(parameter.size(), parameter["type"] == "array" ? 3u : 2u) << t["name"] << "." << name;
            EXPECT_FALSE(parameter["description"].get<std::string>().empty());
            // One type, or a choice of types; arrays say what they hold; nothing else nests.
            json types = parameter.contains("anyOf") ? parameter["anyOf"] : json::array({parameter});
            for (const auto& type : types) {
                ASSERT_TRUE(type.contains("type")) << t["name"] << "." << name;
                if (type["type"] == "array") EXPECT_TRUE(kTypes.count(type["items"]["type"].get<std::string>())) << name;
                EXPECT_TRUE(kTypes.count(type["type"].get<std::string>())) << name;
            }
        }
        // The agent is told about this desktop, not another platform's.
        for (const char* foreign : {"macOS", "cmd+s", "Keychain", "Apple"})
            EXPECT_EQ(t.dump().find(foreign), std::string::npos) << t["name"] << " mentions " << foreign;
    }
    EXPECT_EQ(tools.size(), 43u);
    EXPECT_EQ(names, std::set<std::string>(fixedToolNames().begin(), fixedToolNames().end()));
}

// Reads change nothing; what types, clicks, deletes or runs scripts may destroy data; what
// reaches web pages or speech vendors is open-world.
TEST(StaticCatalogue, AnnotatesWhatEachFixedToolMayDo) {
    const std::set<std::string> readOnly = {"get_page_info", "list_apps", "screenshot", "get_clipboard", "list_menus",
                                            "get_windows", "search_flows", "list_flows", "load_flow", "web_scan", "web_wait_for",
                                            "web_content", "list_shortcuts"};
    const std::set<std::string> destructive = {"type_text", "press_key", "click_at", "drag", "menu_click", "delete_flow",
                                               "web_action", "web_execute_js", "run_shortcut", "record_narrated_demo"};
    for (const auto& t : staticTools()) {
        std::string name = t["name"];
        const json& hints = t["annotations"];
        for (const char* hint : {"readOnlyHint", "destructiveHint", "idempotentHint", "openWorldHint"})
            EXPECT_TRUE(hints[hint].is_boolean()) << name << " " << hint;
        EXPECT_EQ(hints["readOnlyHint"], readOnly.contains(name)) << name;
        if (destructive.contains(name)) EXPECT_EQ(hints["destructiveHint"], true) << name;
        if (readOnly.contains(name)) EXPECT_EQ(hints["destructiveHint"], false) << name;
        if (name.starts_with("web_") || name == "fill_form" || name == "inject_webmcp")
            EXPECT_EQ(hints["openWorldHint"], true) << name;
        if (name.starts_with("list_") && name != "list_shortcuts") EXPECT_EQ(hints["openWorldHint"], false) << name;
    }
    json byName;
    for (const auto& t : staticTools()) byName[t["name"].get<std::string>()] = t;
    EXPECT_EQ(byName["menu_click"]["inputSchema"]["properties"]["path"]["items"], json({{"type", "string"}}));
    EXPECT_EQ(byName["create_shortcut"]["inputSchema"]["properties"]["steps"]["items"]["type"], "object");
}

TEST(ElementTools, FillTakesARequiredStringSetARequiredNumberOpenAnOptionalOptionAndOthersNothing) {
    json fill = elementToolDescription({"fill_name", "fill", "Fill the Name field"});
    EXPECT_EQ(fill["inputSchema"], json({{"type", "object"},
                                         {"properties", {{"value", {{"type", "string"}, {"description", "Text to fill in"}}}}},
                                         {"required", {"value"}}}));
    json set = elementToolDescription({"set_volume", "set", "Set Volume"});
    EXPECT_EQ(set["inputSchema"]["properties"]["value"], json({{"type", "number"}, {"description", "Value to set"}}));
    EXPECT_EQ(set["inputSchema"]["required"], json({"value"}));
    json open = elementToolDescription({"open_size", "open", "Open 'Size' dropdown"});
    EXPECT_EQ(open["inputSchema"]["properties"]["value"]["type"], "string");
    EXPECT_FALSE(open["inputSchema"].contains("required"));
    json click = elementToolDescription({"click_ok", "click", "Click OK"});
    EXPECT_EQ(click, json({{"name", "click_ok"}, {"description", "Click OK"},
                           {"inputSchema", {{"type", "object"}, {"properties", json::object()}}}}));
    // Only the exact prefix counts.
    EXPECT_FALSE(elementToolDescription({"fill_x", "Fill", "d"})["inputSchema"].contains("required"));
}

// The slug rule itself is proven in base/slug_rule_test; here, its use for shortcuts.
TEST(ShortcutTools, AreNamedByTheirSlugDeferredAndTakeAnOptionalInput) {
    EXPECT_EQ(shortcutToolName(std::string(60, 'Z')), "shortcut_" + std::string(50, 'z'));
    // Names that meet on one slug are told apart in listing order; a name from a file shows
    // clean in the description.
    auto tools = shortcutTools({"Café Visit", "Log Café Visit!", "café visit!", "Caf\u00e9\nVisit", "Log\x1b[2J"});
    std::vector<std::string> names;
    for (const auto& t : tools) names.push_back(t.toolName);
    EXPECT_EQ(names, (std::vector<std::string>{"shortcut_caf_visit", "shortcut_log_caf_visit", "shortcut_caf_visit_2",
                                               "shortcut_caf_visit_3", "shortcut_log_2j"}));
    EXPECT_EQ(tools[2].shortcutName, "café visit!");
    EXPECT_EQ(shortcutToolDescription(tools[3])["description"], "Run the shortcut: \"Café Visit\"");
    EXPECT_EQ(shortcutToolDescription(tools[4])["description"], "Run the shortcut: \"Log[2J\"");
    json t = shortcutToolDescription(tools[1]);
    EXPECT_EQ(t, json({{"name", "shortcut_log_caf_visit"},
                       {"description", "Run the shortcut: \"Log Café Visit!\""},
                       {"defer_loading", true},
                       {"inputSchema", {{"type", "object"},
                                        {"properties", {{"input", {{"type", "string"},
                                                                   {"description", "Optional text input for the shortcut"}}}}}}}}));
    EXPECT_EQ(shortcutNames({{"shortcuts", {"a", "b"}}}), (std::vector<std::string>{"a", "b"}));
    EXPECT_TRUE(shortcutNames({{"shortcuts", {"a", 1}}}).empty());
    EXPECT_TRUE(shortcutNames({{"error", "no shortcuts"}}).empty());
}

}  // namespace
}  // namespace velmor::tools
