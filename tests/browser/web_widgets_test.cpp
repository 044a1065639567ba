// Controls that are no form controls and widgets drawn over native ones, on real pages from
// npm: a Tabulator data grid, a Tom Select multi-select and a JSON editor whose fields are
// contenteditable. Each task is done with scanned tools and checked in what the page sent to
// the stand-in API or in the page's own state.
#include "browser/web_page_fixture.h"

namespace velmor::browser {
namespace {

using nlohmann::json;
using namespace std::chrono_literals;

class WebWidgets : public WebPageTest {
protected:
    // The bodies of the requests the pages sent to `path`, oldest first.
    std::vector<json> sentTo(const std::string& path) {
        std::vector<json> bodies;
        for (const auto& request : chromium->apiRequests())
            if (request["path"] == path) bodies.push_back(json::parse(request["body"].get<std::string>()));
        return bodies;
    }
    // The body of the next request to `path` after the `before` there were, waiting a little.
    json nextSentTo(const std::string& path, size_t before) {
        std::vector<json> bodies;
        test::eventually([&] {
            bodies = sentTo(path);
            return bodies.size() > before;
        }, 5s);
        return bodies.size() > before ? bodies[before] : json();
    }
};

TEST_F(WebWidgets, AGridCellIsEditedAndAColumnSortedWithScannedTools) {
    std::string url = open("grid.html");
    json scan;
    ASSERT_TRUE(test::eventually([&] {
        scan = call("web_scan", {{"url", url}});
        return !toolNamed(scan, "click_age_of_mary_may").is_null();
    }, 10s)) << scan.dump(1);
    // Cells are named by their column and their row's key, the key cell by its own text.
    EXPECT_FALSE(toolNamed(scan, "click_city_of_omar_ray").is_null()) << scan.dump(1);
    EXPECT_FALSE(toolNamed(scan, "click_mary_may").is_null()) << scan.dump(1);
    EXPECT_FALSE(toolNamed(scan, "click_column_age").is_null()) << scan.dump(1);

    // Clicking the cell opens the grid's own editor, which the next scan names after the cell.
    EXPECT_EQ(call("click_age_of_mary_may", json::object())["status"], "clicked");
    scan = call("web_scan", {{"url", url}});
    ASSERT_FALSE(toolNamed(scan, "fill_age_of_mary_may").is_null()) << scan.dump(1);
    size_t before = sentTo("/api/member").size();
    EXPECT_EQ(call("fill_age_of_mary_may", {{"value", "52"}})["status"], "filled");
    EXPECT_EQ(nextSentTo("/api/member", before), json({{"name", "Mary May"}, {"field", "age"}, {"value", 52}}));

    // The cell keeps its name now that it shows another value; sorting by age twice puts
    // Mary May, now the oldest, first.
    scan = call("web_scan", {{"url", url}});
    EXPECT_FALSE(toolNamed(scan, "click_age_of_mary_may").is_null()) << scan.dump(1);
    EXPECT_EQ(call("click_column_age", json::object())["status"], "clicked");
    EXPECT_EQ(pageValue(url, "members.getData('active').map((r) => r.name)"),
              json({"Omar Ray", "Ada Stone", "Mary May"}));
    scan = call("web_scan", {{"url", url}});
    EXPECT_EQ(toolNamed(scan, "click_column_age")["description"], "Click column header \"Age\" (sorted ascending)");
    EXPECT_EQ(call("click_column_age", json::object())["status"], "clicked");
    EXPECT_EQ(pageValue(url, "members.getData('active').map((r) => r.name)"),
              json({"Mary May", "Ada Stone", "Omar Ray"}));
}

// Cards reached with the keyboard and clicked, tree items, a menu bar's item and a row
// without cells are tools too; focusable text with no sign of a click handler is not.
TEST_F(WebWidgets, CustomControlsAreScannedAndClicked) {
    std::string url = open("custom_controls.html");
    json scan = call("web_scan", {{"url", url}});
    for (const char* name : {"click_basic_plan", "click_pro_plan", "click_help_centre", "click_item_projects",
                             "click_item_budget",
                             "click_item_archive", "click_row_inbox"})
        EXPECT_FALSE(toolNamed(scan, name).is_null()) << name << "\n" << scan.dump(1);
    for (const char* label : {"Just focusable text", "Out of the tab order"})
        EXPECT_EQ(toolLabelled(scan, label), "") << label;
    // A link that is also a menu item is one tool.
    EXPECT_FALSE(toolNamed(scan, "navigate_settings").is_null()) << scan.dump(1);
    EXPECT_TRUE(toolNamed(scan, "click_item_settings").is_null()) << scan.dump(1);

    auto chosenAfter = [&](const std::string& name) {
        EXPECT_EQ(call(name, json::object())["status"], "clicked") << name;
        return pageValue(url, "document.getElementById('chosen').textContent");
    };
    EXPECT_EQ(chosenAfter("click_basic_plan"), "basic");
    EXPECT_EQ(chosenAfter("click_pro_plan"), "pro");
    EXPECT_EQ(chosenAfter("click_help_centre"), "help");
    EXPECT_EQ(chosenAfter("click_item_budget"), "Budget");
    EXPECT_EQ(chosenAfter("click_item_archive"), "Archive");
    EXPECT_EQ(chosenAfter("click_row_inbox"), "Inbox");
}

TEST_F(WebWidgets, MultiSelectsKeepWhatTheyHoldAndAWidgetThatDoesNotFollowIsReported) {
    std::string url = open("widgets.html");
    json scan;
    ASSERT_TRUE(test::eventually([&] {
        scan = call("web_scan", {{"url", url}});
        return !toolNamed(scan, "select_cities").is_null();
    }, 10s)) << scan.dump(1);

    // The widget took the select's label for its own input; the select keeps it all the same.
    EXPECT_EQ(toolNamed(scan, "select_cities")["description"], "Select from \"Cities\" (several may be chosen)");

    // Tom Select draws its own list over the hidden native select: the options are picked
    // there, and the answer reads the selection back.
    json cities = call("select_cities", {{"value", json({"Oslo", "Rome"})}});
    EXPECT_EQ(cities["status"], "selected") << cities;
    EXPECT_EQ(cities["via"], "widget") << cities;
    EXPECT_EQ(cities["selected"], json({"Oslo", "Rome"}));
    EXPECT_EQ(pageValue(url, "document.querySelector('.ts-control').textContent.includes('Rome')"), true);
    EXPECT_EQ(call("select_cities", {{"value", "Vienna"}})["selected"], json({"Oslo", "Rome", "Vienna"}));

    // A plain multi-select adds each value to what it holds.
    EXPECT_EQ(call("select_meals", {{"value", "Lunch"}})["selected"], json({"Lunch"}));
    json meals = call("select_meals", {{"value", "dinner"}});
    EXPECT_EQ(meals["status"], "selected");
    EXPECT_EQ(meals["selected"], json({"Lunch", "Dinner"}));
    EXPECT_TRUE(call("select_meals", {{"value", "Supper"}}).contains("error"));
    // Only a select takes a list.
    EXPECT_EQ(call("web_action", {{"tool_name", "fill_cities"}, {"value", json({"a", "b"})}}),
              json({{"error", "'value' must be a string"}}));

    // The seat's widget was drawn by hand and never follows its select: the answer says so.
    json seat = call("select_seat", {{"value", "Window"}});
    EXPECT_EQ(seat["status"], "not_shown") << seat;
    EXPECT_EQ(seat["selected"], json({"Window"}));

    size_t before = sentTo("/api/trip").size();
    EXPECT_EQ(call("click_book_trip", json::object())["status"], "clicked");
    json sent = nextSentTo("/api/trip", before);
    EXPECT_EQ(sent["cities"], json({"osl", "rom", "vie"}));
    EXPECT_EQ(sent["meals"], json({"lunch", "dinner"}));
}

TEST_F(WebWidgets, AJsonEditorsValueIsNamedByItsKeyAndFilled) {
    std::string url = open("widgets.html");
    json scan;
    ASSERT_TRUE(test::eventually([&] {
        scan = call("web_scan", {{"url", url}});
        return !toolNamed(scan, "fill_owner").is_null();
    }, 10s)) << scan.dump(1);
    EXPECT_FALSE(toolNamed(scan, "fill_currency").is_null()) << scan.dump(1);
    // The keys are editable too, and say so.
    EXPECT_EQ(toolNamed(scan, "fill_owner_key")["label"], "owner (key)") << scan.dump(1);
    EXPECT_EQ(toolNamed(scan, "fill_owner")["type"], "fill_contenteditable");
    for (const auto& tool : scan["tools"]) EXPECT_EQ(tool["label"].get<std::string>().find("rich text"), std::string::npos) << tool;

    EXPECT_EQ(call("fill_currency", {{"value", "NOK"}})["status"], "filled");
    size_t before = sentTo("/api/trip").size();
    EXPECT_EQ(call("click_book_trip", json::object())["status"], "clicked");
    EXPECT_EQ(nextSentTo("/api/trip", before)["settings"], json({{"owner", "Mary May"}, {"currency", "NOK"}}));
}

}  // namespace
}  // namespace velmor::browser
