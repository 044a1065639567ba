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
        // The agent is told about this desktop, not another platform's.
        for (const char* foreign : {"macOS", "cmd+s", "Keychain", "Apple"})
            EXPECT_EQ(t.dump().find(foreign), std::string::npos) << t["name"] << " mentions " << foreign;
    }
    EXPECT_EQ(tools.size(), 40u);
    EXPECT_EQ(names, std::set<std::string>(fixedToolNames().begin(), fixedToolNames().end()));
}

TEST(ElementTools, FillTakesARequiredStringSetARequiredNumberAndOthersNothing) {
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
