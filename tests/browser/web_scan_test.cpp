#include "browser/web_page_fixture.h"

#include <map>

namespace velmor::browser {
namespace {

using nlohmann::json;

std::map<std::string, json> byName(const json& scan) {
    std::map<std::string, json> tools;
    for (const auto& tool : scan.at("tools")) tools[tool.at("name").get<std::string>()] = tool;
    return tools;
}

bool anyLabelled(const json& scan, const std::string& label) {
    for (const auto& tool : scan.at("tools"))
        if (tool.at("label") == label) return true;
    return false;
}

using WebScan = WebPageTest;

TEST_F(WebScan, NamesButtonsByRowContextOrNumericSuffix) {
    std::string url = open("controls.html");
    json scan = call("web_scan", {{"browser", "chrome"}, {"url", url}});
    auto tools = byName(scan);

    ASSERT_TRUE(tools.count("click_delete_ada_lovelace")) << scan.dump(2);
    EXPECT_EQ(tools["click_delete_ada_lovelace"]["description"], "Click \"Delete\" for \"Ada Lovelace\"");
    EXPECT_TRUE(tools.count("click_delete_grace_hopper"));
    // No ancestor tells the two Save buttons apart: the second takes the number of names
    // taken before it.
    ASSERT_TRUE(tools.count("click_save"));
    EXPECT_TRUE(tools.count("click_save_3"));
    EXPECT_EQ(tools["click_save"]["type"], "click");
    // A label with no letters or digits slugs to nothing.
    EXPECT_TRUE(tools.count("click_"));
    EXPECT_TRUE(tools.count("click_send_order"));
    // Tabs are their own category, not buttons.
    EXPECT_FALSE(tools.count("click_summary"));
    for (const char* skipped : {"Hidden button", "Undisplayed", "Disabled button", "Aria disabled", "Locked", "Germany"})
        EXPECT_FALSE(anyLabelled(scan, skipped)) << skipped;
    // Portal content lies inside the body and is offered once.
    int portal = 0;
    for (const auto& tool : scan["tools"]) portal += tool["label"] == "Portal action";
    EXPECT_EQ(portal, 1);
    EXPECT_EQ(scan["toolCount"], scan["tools"].size());
}

TEST_F(WebScan, LabelsFormFieldsAndNativeChoices) {
    std::string url = open("controls.html");
    auto tools = byName(call("web_scan", {{"url", url}}));

    for (const char* name : {"fill_email_address", "fill_street", "fill_search_orders", "fill_coupon", "fill_notes"}) {
        ASSERT_TRUE(tools.count(name)) << name;
        EXPECT_EQ(tools[name]["type"], "fill");
    }
    EXPECT_EQ(tools["fill_email_address"]["selector"], "#email");
    EXPECT_EQ(tools["toggle_gift_wrap"]["description"], "Toggle \"Gift wrap\" (checked)");
    EXPECT_EQ(tools["select_express"]["description"], "Select \"Express\"");
    // The second select labelled Country is dropped, not renamed.
    EXPECT_EQ(tools["select_country"]["options"], json({"France", "Italy"}));
    EXPECT_EQ(tools["select_country"]["type"], "select");
    EXPECT_FALSE(tools.count("select_country_1"));
    EXPECT_TRUE(tools.count("navigate_documentation"));
    EXPECT_TRUE(tools.count("navigate_home"));
}

TEST_F(WebScan, DescribesAriaWidgets) {
    std::string url = open("controls.html");
    auto tools = byName(call("web_scan", {{"url", url}}));

    EXPECT_EQ(tools["select_size"]["description"], "Open \"Size\" (open)");
    EXPECT_EQ(tools["toggle_dark_mode"]["description"], "Toggle \"Dark mode\" (off)");
    const json& shipping = tools["select_shipping"];
    EXPECT_EQ(shipping["description"], "Select from \"Shipping\" options: Standard, Overnight, Pickup");
    EXPECT_EQ(shipping["options"], json({"Standard", "Overnight", "Pickup"}));
    EXPECT_EQ(shipping["currentValue"], "Overnight");
    EXPECT_EQ(tools["set_volume"]["description"], "Set \"Volume\" (10-90, current: 40)");
    EXPECT_EQ(tools["set_balance"]["description"], "Set \"Balance\" (0-100, current: )");
    EXPECT_EQ(tools["set_volume"]["type"], "set");
    EXPECT_EQ(tools["switch_tab_summary"]["description"], "Switch to tab \"Summary\" (active)");
    EXPECT_EQ(tools["switch_tab_details"]["description"], "Switch to tab \"Details\"");
    EXPECT_EQ(tools["select_option_red"]["description"], "Select \"Red\" from Colours");
    EXPECT_EQ(tools["fill_message_body"]["description"], "Fill \"Message body\" (rich text)");
    EXPECT_EQ(tools["fill_message_body"]["type"], "fill_contenteditable");
    EXPECT_TRUE(tools.count("fill_rich_text_editor"));
}

TEST_F(WebScan, SumsUpThePageAndRefillsTheWebTools) {
    std::string url = open("controls.html");
    json scan = call("web_scan", {{"url", url}});
    EXPECT_EQ(scan["headings"], json({"H1: Order desk", "H2: Customers"}));
    std::string content = scan["content"];
    EXPECT_NE(content.find("Pending orders for this week."), std::string::npos);
    EXPECT_EQ(content.find("Footer text"), std::string::npos);
    EXPECT_EQ(content.find("Home"), std::string::npos);

    auto fill = sessions.getWebTool("fill_email_address");
    ASSERT_TRUE(fill);
    EXPECT_EQ(fill->inputSchema["properties"]["value"]["description"], "Text to fill in");
    EXPECT_EQ(fill->inputSchema["required"], json({"value"}));
    EXPECT_EQ(sessions.getWebTool("select_country")->inputSchema["properties"]["value"]["description"],
              "Value to select");
    EXPECT_EQ(sessions.getWebTool("click_save")->inputSchema, json({{"type", "object"}, {"properties", json::object()}}));
    EXPECT_EQ(fill->urlPattern, url);

    json summary = call("web_content", {{"url", url}});
    EXPECT_EQ(summary["title"], "Every control");
    EXPECT_EQ(summary["url"], url);
    EXPECT_EQ(summary["headings"], scan["headings"]);
    EXPECT_EQ(summary["toolCount"], scan["toolCount"]);
    EXPECT_EQ(summary.size(), 5u) << summary.dump();

    // A scan that fails still leaves no stale web tools behind.
    json failed = call("web_scan", {{"url", "no-such-tab"}});
    EXPECT_EQ(failed["error"], "no Chrome tab matching 'no-such-tab'");
    EXPECT_EQ(call("web_content", {{"url", "no-such-tab"}}), json({{"error", "no Chrome tab matching 'no-such-tab'"}}));
    EXPECT_FALSE(sessions.getWebTool("fill_email_address"));
}

}  // namespace
}  // namespace velmor::browser
