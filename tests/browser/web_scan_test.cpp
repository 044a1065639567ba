#include "browser/web_page_fixture.h"

#include <algorithm>
#include <cctype>
#include <set>
#include <map>

namespace velmor::browser {
namespace {

using nlohmann::json;

using WebScan = WebPageTest;

TEST_F(WebScan, NamesAndDescribesEveryVisibleControlOnce) {
    std::string url = open("controls.html");
    json scan = call("web_scan", {{"browser", "chrome"}, {"url", url}});
    std::map<std::string, json> tools;
    for (const auto& tool : scan.at("tools")) tools[tool.at("name").get<std::string>()] = tool;
    auto description = [&](const std::string& name) {
        return tools.count(name) ? tools[name]["description"].get<std::string>() : "<no " + name + ">";
    };

    // Buttons by their row's key, or numbered in page order when nothing around them tells
    // them apart; a label with no letters or digits slugs to nothing.
    EXPECT_EQ(description("click_delete_ada_lovelace"), "Click \"Delete\" for \"Ada Lovelace\"") << scan.dump(2);
    for (const char* name : {"click_delete_grace_hopper", "click_save", "click_save_2", "click_", "click_send_order",
                             "navigate_documentation", "navigate_home", "fill_rich_text_editor_in_customers"})
        EXPECT_TRUE(tools.count(name)) << name << "\n" << scan.dump(1);
    EXPECT_EQ(tools["click_save"]["type"], "click");
    // Tabs are their own category, not buttons.
    EXPECT_FALSE(tools.count("click_summary"));
    for (const char* skipped : {"Hidden button", "Undisplayed", "Disabled button", "Aria disabled", "Locked", "Germany"})
        EXPECT_EQ(toolLabelled(scan, skipped), "") << skipped;
    // Portal content lies inside the body and is offered once.
    EXPECT_EQ(std::count_if(scan["tools"].begin(), scan["tools"].end(),
                            [](const json& tool) { return tool["label"] == "Portal action"; }),
              1);
    EXPECT_EQ(scan["toolCount"], scan["tools"].size());

    for (const char* name : {"fill_email_address", "fill_street", "fill_search_orders", "fill_coupon", "fill_notes"})
        EXPECT_EQ(tools[name]["type"], "fill") << name;
    EXPECT_EQ(tools["fill_email_address"]["selector"], "#email");
    EXPECT_EQ(description("toggle_gift_wrap"), "Toggle \"Gift wrap\" (checked)");
    EXPECT_EQ(description("select_express"), "Select \"Express\"");
    // The second select labelled Country is dropped, not renamed.
    EXPECT_EQ(tools["select_country"]["options"], json({"France", "Italy"}));
    EXPECT_EQ(tools["select_country"]["type"], "select");
    EXPECT_FALSE(tools.count("select_country_1"));

    EXPECT_EQ(description("select_size"), "Open \"Size\" (open)");
    EXPECT_EQ(description("toggle_dark_mode"), "Toggle \"Dark mode\" (off)");
    EXPECT_EQ(description("select_shipping"), "Select from \"Shipping\" options: Standard, Overnight, Pickup");
    EXPECT_EQ(tools["select_shipping"]["options"], json({"Standard", "Overnight", "Pickup"}));
    EXPECT_EQ(tools["select_shipping"]["currentValue"], "Overnight");
    EXPECT_EQ(description("set_volume"), "Set \"Volume\" (10-90, current: 40)");
    EXPECT_EQ(description("set_balance"), "Set \"Balance\" (0-100, current: )");
    EXPECT_EQ(tools["set_volume"]["type"], "set");
    EXPECT_EQ(description("switch_tab_summary"), "Switch to tab \"Summary\" (active)");
    EXPECT_EQ(description("switch_tab_details"), "Switch to tab \"Details\"");
    EXPECT_EQ(description("select_option_red"), "Select \"Red\" from Colours");
    EXPECT_EQ(description("fill_message_body"), "Fill \"Message body\" (rich text)");
    EXPECT_EQ(tools["fill_message_body"]["type"], "fill_contenteditable");
}

TEST_F(WebScan, SumsUpThePageAndRefillsTheWebTools) {
    std::string url = open("controls.html");
    json scan = call("web_scan", {{"url", url}});
    EXPECT_EQ(scan["headings"], json({"H1: Order desk", "H2: Customers"}));
    std::string content = scan["content"];
    EXPECT_NE(content.find("Pending orders for this week."), std::string::npos);
    EXPECT_EQ(content.find("Footer text"), std::string::npos);
    EXPECT_EQ(content.find("Home"), std::string::npos);

    auto fill = sessions.webTools().get("fill_email_address");
    ASSERT_TRUE(fill);
    EXPECT_EQ(fill->inputSchema["properties"]["value"]["description"], "Text to fill in");
    EXPECT_EQ(fill->inputSchema["required"], json({"value"}));
    // A select takes one option or a list of them.
    EXPECT_EQ(sessions.webTools().get("select_country")->inputSchema["properties"]["value"]["anyOf"],
              json::parse(R"([{"type": "string"}, {"type": "array", "items": {"type": "string"}}])"));
    EXPECT_EQ(sessions.webTools().get("click_save")->inputSchema, json({{"type", "object"}, {"properties", json::object()}}));
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
    EXPECT_FALSE(sessions.webTools().get("fill_email_address"));
}

// A page that overrides the built-ins the scan would use (JSON.stringify answers 5,005
// forged tools, Array.prototype.map adds an order to every list) gets a scan of what it really
// shows: its five controls, named and described cleanly, within every bound.
TEST_F(WebScan, APageThatOverridesTheBuiltInsCannotShapeTheScan) {
    std::string url = open("hostile.html");
    // The trap is armed in the page's own world, where the agent's scripts run.
    EXPECT_EQ(pageValue(url, "JSON.stringify({tools: []}).includes('fake_4999')"), true);
    EXPECT_EQ(pageValue(url, "[1].map((x) => x).length"), 2);

    json scan = call("web_scan", {{"url", url}});
    std::string answer = scan.dump();
    EXPECT_LE(answer.size(), 256u * 1024);
    for (const char* forged : {"fake_", "SYSTEM", "forged", "web_action", "session_start", "\\r"})
        EXPECT_EQ(answer.find(forged), std::string::npos) << forged << " in " << answer.substr(0, 2000);
    std::map<std::string, json> tools;
    for (const auto& tool : scan.at("tools")) tools[tool.at("name").get<std::string>()] = tool;
    EXPECT_EQ(tools.size(), 5u) << scan.dump(2);
    EXPECT_EQ(scan["toolCount"], 5);
    EXPECT_EQ(tools["click_pay_now"]["selector"], "#pay");
    EXPECT_EQ(tools["fill_card_holder"]["selector"], "#holder");
    // "At" would make click_at, a fixed tool: it takes the next free name.
    EXPECT_EQ(tools["click_at_2"]["selector"], "#at");
    EXPECT_FALSE(tools.count("click_at"));
    // The browser shows the escape character of the title as a space; the reversal is gone.
    EXPECT_EQ(scan["title"], "Checkout [2Jlanif");
    EXPECT_EQ(scan["headings"], json({"H1: Checkout"}));
    for (const auto& [name, tool] : tools) {
        EXPECT_TRUE(std::all_of(name.begin(), name.end(), [](char c) { return std::islower(c) || std::isdigit(c) || c == '_'; }))
            << name;
        EXPECT_LE(name.size(), 64u);
        std::string description = tool["description"];
        EXPECT_LE(description.size(), 1024u);
        for (const char* hidden : {"\x1b", "\xE2\x80\xAE", "\xE2\x80\x8B", "\n"})
            EXPECT_EQ(description.find(hidden), std::string::npos) << name << ": " << description;
    }
    EXPECT_EQ(tools["click_re_fund_31m"]["label"], "Refund[31m") << scan.dump(2);
    std::string longLabel;
    for (const auto& [name, tool] : tools)
        if (name.starts_with("click_long_label")) longLabel = tool["label"];
    EXPECT_EQ(longLabel.size(), 200u);
    EXPECT_TRUE(longLabel.ends_with("...")) << longLabel;

    // tools/list holds each name once.
    std::set<std::string> listed;
    for (const auto& tool : router->allTools()) EXPECT_TRUE(listed.insert(tool["name"]).second) << tool["name"];
    EXPECT_TRUE(listed.count("click_at_2"));

    // Actions run apart from the page's scripts too, and still reach the page's listeners.
    json typed = call("web_action", {{"tool_name", "fill_card_holder"}, {"value", "Ada"}});
    EXPECT_FALSE(typed.contains("error")) << typed.dump();
    EXPECT_EQ(pageValue(url, "document.getElementById('holder').value"), "Ada");
}

}  // namespace
}  // namespace velmor::browser
