// Web tool names an agent can hold on to: text that moves while a page is used never renames a
// control, and a name keeps reaching its element through later scans while the element is there.
#include "browser/web_page_fixture.h"

#include <algorithm>
#include <map>

namespace velmor::browser {
namespace {

using nlohmann::json;

using WebNames = WebPageTest;

std::map<std::string, std::string> selectorsByName(const json& scan) {
    std::map<std::string, std::string> selectors;
    for (const auto& tool : scan.at("tools")) selectors[tool.at("name")] = tool.at("selector");
    return selectors;
}

// Two tabs of the same page, the second with its status line, count, order states and an
// opened list moved: a fresh scan of each names every control alike, repeated ones by their
// row's key or their field's caption.
TEST_F(WebNames, MovingTextRenamesNothing) {
    json still = call("web_scan", {{"url", open("stable_names.html")}});
    json moved = call("web_scan", {{"url", open("stable_names.html?changed=1")}});
    auto before = selectorsByName(still);
    auto after = selectorsByName(moved);
    for (const char* name : {"click_refresh", "click_edit_a_100", "click_edit_b_200", "click_choose_colour",
                             "click_choose_size", "click_note", "click_note_2"})
        EXPECT_TRUE(before.count(name)) << name << "\n" << still.dump(1);
    for (const auto& [name, selector] : before) {
        ASSERT_TRUE(after.count(name)) << name << "\n" << moved.dump(1);
        EXPECT_EQ(after[name], selector) << name;
    }
    EXPECT_EQ(toolNamed(still, "click_edit_a_100")["description"], "Click \"Edit\" for \"A-100\"");
    // The opened list adds its options and nothing else.
    EXPECT_EQ(after.size(), before.size() + 2) << moved.dump(1);
    EXPECT_TRUE(after.count("select_option_red"));
}

// Scan, then the page grows twins of scanned controls ahead of them and moves its text: the
// next scan keeps every name on its element and gives the newcomers names of their own. A row
// the page reuses for another order no longer answers to the old order's name.
TEST_F(WebNames, ANameKeepsItsElementThroughLaterScans) {
    std::string url = open("stable_names.html");
    json first = call("web_scan", {{"url", url}});
    auto named = selectorsByName(first);
    ASSERT_TRUE(named.count("click_note_2") && named.count("click_refresh")) << first.dump(1);

    call("web_execute_js", {{"url", url},
                            {"js", "addOrder('C-300', 'Linus', true);"
                                   "document.getElementById('toolbar').innerHTML = "
                                   "  '<button data-mark=\"toolbar refresh\">Refresh</button>';"
                                   "const note = document.createElement('div');"
                                   "note.innerHTML = '<button data-mark=\"note 0\">Note</button>';"
                                   "document.getElementById('notes').prepend(note);"
                                   "moveText(); 'done'"}});
    json second = call("web_scan", {{"url", url}});
    auto renamed = selectorsByName(second);
    EXPECT_EQ(renamed["click_refresh"], "#refresh") << second.dump(1);
    EXPECT_EQ(renamed["click_choose_colour"], "#colour");
    for (const char* name : {"click_edit_c_300", "click_note_3", "click_refresh_orders"})
        EXPECT_TRUE(renamed.count(name)) << name << "\n" << second.dump(1);
    EXPECT_EQ(renamed.size(), named.size() + 5);  // a row, a button, a note, two options

    for (const auto& [name, selector] : named) ASSERT_FALSE(call(name, json::object()).contains("error")) << name;
    EXPECT_EQ(pageValue(url, "state.edited"), json({"A-100", "B-200"}));
    json clicked = pageValue(url, "state.clicked");
    for (const char* mark : {"refresh", "colour", "size", "note 1", "note 2"})
        EXPECT_NE(std::find(clicked.begin(), clicked.end(), mark), clicked.end()) << mark << " " << clicked.dump();
    for (const char* stranger : {"toolbar refresh", "note 0"})
        EXPECT_EQ(std::find(clicked.begin(), clicked.end(), stranger), clicked.end()) << stranger;

    call("web_execute_js", {{"url", url}, {"js", "document.querySelector('#orders tr:nth-child(2) td').textContent = 'D-400'"}});
    json third = call("web_scan", {{"url", url}});
    EXPECT_TRUE(toolNamed(third, "click_edit_a_100").is_null()) << third.dump(1);
    EXPECT_FALSE(toolNamed(third, "click_edit_d_400").is_null()) << third.dump(1);
    EXPECT_EQ(call("click_edit_a_100", json::object()),
              json({{"error", "web tool 'click_edit_a_100' not found. Run web_scan first."}}));
}

}  // namespace
}  // namespace velmor::browser
