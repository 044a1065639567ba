// Real tasks on third-party pages packaged from npm (TodoMVC, Swagger UI) and on fixture pages,
// done with the web tools alone and checked in the page or in what the page sent.
#include "browser/web_page_fixture.h"

#include <atomic>
#include <boost/asio/ip/tcp.hpp>
#include <chrono>
#include <map>
#include <regex>
#include <set>
#include <thread>

namespace velmor::browser {
namespace {

using nlohmann::json;
using namespace std::chrono_literals;

// Counts the pushes a bridge would receive. Pushes close together are coalesced and may
// arrive a moment later, from another thread.
struct CountingConnection : PageConnection {
    void send(std::string text) override {
        if (text == R"({"type":"tools_changed"})") ++pushes;
    }
    int pushesAfterQuietSpell() const {
        std::this_thread::sleep_for(250ms);
        return pushes;
    }
    std::atomic<int> pushes = 0;
};

class WebTasks : public WebPageTest {
protected:
    // Framework pages render after their load event.
    bool waitUntil(const std::string& url, const std::string& expression) {
        return test::eventually([&] { return pageValue(url, "!!(" + expression + ")") == true; }, 10s);
    }
    json press(const std::string& tool, const std::string& key) {
        return call("web_action", {{"tool_name", tool}, {"action", "press"}, {"value", key}});
    }
};

// The React example: the new item needs Enter, the item's check box is labelled by a
// sibling label and its delete button is an icon with nothing but a class.
TEST_F(WebTasks, TodoMvcAddsAndCompletesAnItem) {
    auto subscriber = std::make_shared<CountingConnection>();
    sessions.subscribers().setToken("bridge token");
    ASSERT_TRUE(sessions.subscribeToolChanges(sessions.createSession(subscriber)->sessionId(), "bridge token"));
    std::string url = open("node_modules/todomvc/examples/react/index.html");
    ASSERT_TRUE(waitUntil(url, "document.querySelector('#new-todo')"));

    json scan = call("web_scan", {{"url", url}});
    ASSERT_FALSE(toolNamed(scan, "fill_what_needs_to_be_done").is_null()) << scan.dump(1);
    EXPECT_EQ(subscriber->pushesAfterQuietSpell(), 1);
    call("web_scan", {{"url", url}});
    EXPECT_EQ(subscriber->pushesAfterQuietSpell(), 1) << "the same tools again are no change";

    EXPECT_EQ(call("fill_what_needs_to_be_done", {{"value", "Buy milk"}})["status"], "filled");
    EXPECT_EQ(press("fill_what_needs_to_be_done", "Enter"), json({{"status", "pressed"}, {"key", "Enter"}}));
    EXPECT_EQ(pageValue(url, "Array.from(document.querySelectorAll('#todo-list li label'), (l) => l.textContent)"),
              json({"Buy milk"}));
    // Without a tool the key goes to whatever has the focus.
    call("fill_what_needs_to_be_done", {{"value", "Walk the dog"}});
    call("web_execute_js", {{"js", "document.querySelector('#new-todo').focus()"}, {"url", url}});
    EXPECT_EQ(call("web_action", {{"action", "press"}, {"value", "Enter"}, {"url", url}})["status"], "pressed");
    EXPECT_EQ(pageValue(url, "document.querySelectorAll('#todo-list li').length"), 2);

    scan = call("web_scan", {{"url", url}});
    EXPECT_EQ(subscriber->pushesAfterQuietSpell(), 2);
    ASSERT_FALSE(toolNamed(scan, "toggle_buy_milk").is_null()) << scan.dump(1);
    EXPECT_EQ(toolNamed(scan, "click_destroy_buy_milk")["description"], "Click \"destroy\" for \"Buy milk\"")
        << scan.dump(1);
    EXPECT_EQ(call("toggle_buy_milk", json::object())["status"], "clicked");
    EXPECT_EQ(pageValue(url, "document.querySelector('#todo-list li').className"), "completed");
    EXPECT_EQ(pageValue(url, "document.querySelectorAll('#todo-list li')[1].className"), "");
    EXPECT_EQ(pageValue(url, "JSON.parse(localStorage.getItem('react-todos'))[0].completed"), true);

    EXPECT_EQ(call("web_action", {{"tool_name", "toggle_buy_milk"}, {"action", "hover"}}),
              json({{"error", "unknown action 'hover': only 'press' is known"}}));
    EXPECT_EQ(call("web_action", {{"tool_name", "toggle_buy_milk"}, {"action", "press"}}),
              json({{"error", "missing 'value'"}}));
    EXPECT_TRUE(press("toggle_buy_milk", "Hyper").value("error", "").starts_with("unknown key 'Hyper'"));
}

// The plain-JavaScript example hides its filters while the list is empty, and its router
// changes only the #fragment: tools scanned before the change still reach the tab.
TEST_F(WebTasks, TodoMvcToolsOutliveAFragmentChangeAndHiddenControlsStayOut) {
    std::string url = open("node_modules/todomvc/examples/vanillajs/index.html");
    ASSERT_TRUE(waitUntil(url, "document.querySelector('#new-todo')"));
    json scan = call("web_scan", {{"url", url}});
    ASSERT_FALSE(toolNamed(scan, "fill_what_needs_to_be_done").is_null()) << scan.dump(1);
    for (const char* hidden : {"Active", "Completed", "Mark all as complete", "Clear completed"})
        EXPECT_EQ(toolLabelled(scan, hidden), "") << hidden;

    call("fill_what_needs_to_be_done", {{"value", "Walk the dog"}});
    ASSERT_TRUE(waitUntil(url, "document.querySelectorAll('#todo-list li').length === 1"));
    scan = call("web_scan", {{"url", url}});
    ASSERT_FALSE(toolNamed(scan, "navigate_active").is_null()) << scan.dump(1);
    call("navigate_active", json::object());
    ASSERT_TRUE(waitUntil(url, "location.hash === '#/active'"));

    scan = call("web_scan", {{"url", url}});
    ASSERT_EQ(scan["url"], url + "#/active");
    call("navigate_all", json::object());
    ASSERT_TRUE(waitUntil(url, "location.hash === '#/'"));
    // Scanned at #/active, called at #/.
    EXPECT_EQ(call("toggle_walk_the_dog", json::object())["status"], "clicked");
    EXPECT_EQ(pageValue(url, "JSON.parse(localStorage.getItem('todos-vanillajs')).todos[0].completed"), true);
    EXPECT_EQ(call("web_execute_js", {{"js", "location.hash"}, {"url", url + "#/active"}}), json({{"result", "#/"}}));
}

// Swagger UI keeps parameter values in React state behind debounced fields: values filled
// right before Execute must still reach the request, as the stand-in API logs it.
TEST_F(WebTasks, SwaggerUiSendsFiveFilledParameters) {
    std::string url = open("swagger.html");
    ASSERT_TRUE(waitUntil(url, "document.querySelectorAll('.opblock').length === 12"));
    json scan = call("web_scan", {{"url", url}});
    std::set<std::string> copyButtons;
    for (const auto& tool : scan["tools"]) {
        if (tool["label"] != "Copy path to clipboard") continue;
        copyButtons.insert(tool["name"].get<std::string>());
        EXPECT_FALSE(std::regex_search(tool["name"].get<std::string>(), std::regex("_[0-9]+$"))) << tool.dump();
    }
    EXPECT_EQ(copyButtons.size(), 12u) << scan.dump(1);
    EXPECT_TRUE(copyButtons.count("click_copy_path_to_clipboard_get_warehouses_warehouse_items_list"));

    call(toolLabelled(scan, "GET/warehouses/{warehouse}/itemsList items in a warehouse"), json::object());
    ASSERT_TRUE(waitUntil(url, "document.querySelector('.try-out__btn')"));
    call(toolLabelled(call("web_scan", {{"url", url}}), "Try it out"), json::object());
    ASSERT_TRUE(waitUntil(url, "document.querySelector('input[placeholder=sku]:not([disabled])')"));
    scan = call("web_scan", {{"url", url}});
    for (const auto& [tool, value] : std::map<std::string, std::string>{{"fill_warehouse", "north-7"},
                                                                         {"fill_sku", "SKU 42"},
                                                                         {"fill_limit", "25"},
                                                                         {"fill_region", "emea"},
                                                                         {"fill_x_request_id", "req-123"}})
        EXPECT_EQ(call(tool, {{"value", value}})["status"], "filled") << tool;
    EXPECT_EQ(call(toolLabelled(scan, "Execute"), json::object())["status"], "clicked");

    std::vector<json> requests;
    test::eventually([&] { return !(requests = chromium->apiRequests()).empty(); }, 5s);
    ASSERT_EQ(requests.size(), 1u);
    const json& request = requests.front();
    EXPECT_EQ(request["method"], "GET");
    EXPECT_EQ(request["path"], "/api/warehouses/north-7/items");
    EXPECT_EQ(request["query"], json({{"sku", "SKU 42"}, {"limit", "25"}, {"region", "emea"}}));
    EXPECT_EQ(request["headers"]["x-request-id"], "req-123");

    // An enum parameter is a select with no name of its own: it is named by its description.
    call(toolLabelled(scan, "GET/items/findByStatusFind items by status"), json::object());
    ASSERT_TRUE(waitUntil(url, "document.querySelectorAll('.try-out__btn').length === 2"));
    scan = call("web_scan", {{"url", url}});
    for (const auto& tool : scan["tools"])
        if (tool["label"] == "Try it out") call(tool["name"], json::object());
    ASSERT_TRUE(waitUntil(url, "document.querySelector('select:not([disabled]) option[value=pending]')"));
    scan = call("web_scan", {{"url", url}});
    EXPECT_EQ(toolNamed(scan, "select_status_of_the_items")["options"], json({"available", "pending", "sold"}))
        << scan.dump(1);
}

// A dialog blocks its page until it is answered; the action completes and says what it met.
TEST_F(WebTasks, DialogsAreAnsweredAndReported) {
    std::string url = open("dialogs.html");
    call("web_scan", {{"url", url}});

    json answer = call("click_say_hello", json::object());
    EXPECT_EQ(answer["status"], "clicked");
    EXPECT_EQ(answer["dialog"], json({{"type", "alert"}, {"message", "Hello there"}}));
    EXPECT_EQ(pageValue(url, "state.after"), json({"alert"}));

    EXPECT_EQ(call("click_delete_everything", json::object())["dialog"],
              json({{"type", "confirm"}, {"message", "Delete everything?"}}));
    EXPECT_EQ(pageValue(url, "state.confirmed"), false);
    EXPECT_EQ(call("click_ask_name", json::object())["dialog"]["type"], "prompt");
    EXPECT_EQ(pageValue(url, "state.name"), nullptr);
    EXPECT_FALSE(call("web_execute_js", {{"js", "document.title"}, {"url", url}}).contains("dialog"));
    // Each dialog of a row gets its own answer: accepting the alert never accepts the question.
    EXPECT_EQ(call("click_warn_then_ask", json::object())["dialog"]["type"], "alert");
    EXPECT_EQ(pageValue(url, "state.sure"), false);
}

// A page that never answers, or an endpoint that accepts and then says nothing, ends the
// call at its deadline; an endless script is stopped so the tab answers again.
TEST_F(WebTasks, NoCallOutlivesItsDeadline) {
    std::string url = open("dialogs.html");
    ScriptInjector::Endpoints impatient{.devToolsPort = chromium->devToolsPort()};
    impatient.limits.answer = 1500ms;
    ScriptInjector injector(impatient, sessions.agents());
    EXPECT_EQ(injector.runJS("for (;;) {}", "chrome", url).error(), "Chrome: the page did not answer within 1.5 s");
    EXPECT_EQ(*injector.runJS("document.title", "chrome", url), json({{"result", "Dialogs"}}));

    // Connections to a listener that never accepts are taken into its backlog and left unanswered.
    boost::asio::io_context io;
    boost::asio::ip::tcp::acceptor silent(io, {boost::asio::ip::make_address("127.0.0.1"), 0});
    ScriptInjector::Endpoints mute{.devToolsPort = silent.local_endpoint().port()};
    mute.limits = {.connect = 1000ms, .write = 1000ms, .answer = 1000ms};
    EXPECT_EQ(ScriptInjector(mute, sessions.agents()).runJS("1").error(), "Chrome: the DevTools endpoint did not answer within 1 s");
}

// web_navigate answers once the new document is there, so a scan straight after always
// sees the new page, even one that is slow to arrive.
TEST_F(WebTasks, ScanRightAfterNavigationSeesTheNewPage) {
    std::string marker = "walk=" + std::to_string(++tabCounter);
    tabs.push_back(chromium->openTab(chromium->pageUrl("listeners.html") + "?" + marker));
    for (int i = 0; i < 50; ++i) {
        std::string page = i % 2 ? "listeners.html" : "dialogs.html";
        std::string path = "/delay/20/" + page + "?" + marker + "&n=" + std::to_string(i);
        json navigated = call("web_navigate", {{"path", path}, {"url", marker}});
        ASSERT_EQ(navigated["status"], "loaded") << i << navigated.dump();
        json scan = call("web_scan", {{"url", marker}});
        ASSERT_EQ(scan.value("url", ""), chromium->pageUrl("delay/20/" + page) + "?" + marker + "&n=" + std::to_string(i))
            << i << scan.dump();
        ASSERT_EQ(scan["title"], i % 2 ? "Listening page" : "Dialogs");
    }
}

// Controls without a label element, icon-only buttons and button inputs are listed under
// what they carry; what the user cannot see is not; repeated controls take their section or
// property; the page text is as long as asked.
TEST_F(WebTasks, ListsEveryVisibleControlUnderADistinctName) {
    std::string url = open("unlabeled.html");
    json scan = call("web_scan", {{"url", url}});
    for (const char* name : {"fill_search_the_catalogue", "fill_postcode", "fill_discount_code", "fill_nickname",
                             "fill_fax_number", "click_save_settings", "click_preview", "click_start_over",
                             "click_close", "click_refresh_list", "click_trash", "click_edit_billing",
                             "click_edit_shipping", "fill_street", "fill_city"})
        EXPECT_FALSE(toolNamed(scan, name).is_null()) << name << "\n" << scan.dump(1);
    EXPECT_EQ(toolNamed(scan, "select_status")["options"], json({"available", "pending", "sold"}));
    EXPECT_EQ(toolNamed(scan, "click_edit_billing")["description"], "Click \"Edit\" for \"Billing\"");
    // Editors are named by the key written beside them.
    EXPECT_EQ(toolNamed(scan, "fill_city")["description"], "Fill \"city\" (rich text)");
    for (const char* hidden : {"Ghost button", "Ghost field", "Invisible button", "Folded button"})
        EXPECT_EQ(toolLabelled(scan, hidden), "") << hidden;

    EXPECT_EQ(scan["content"].get<std::string>().size(), 1500u);
    json longer = call("web_content", {{"url", url}, {"max_length", 5000}});
    EXPECT_EQ(longer["content"].get<std::string>().size(), 5000u);
    EXPECT_EQ(call("web_scan", {{"url", url}, {"max_length", 100001}}),
              json({{"error", "max_length must be between 1 and 100000"}}));

    // An icon button's click is answered with the name a reader gives it.
    EXPECT_EQ(call("click_close", json::object()), json({{"status", "clicked"}, {"label", "Close"}}));
    EXPECT_EQ(call("click_refresh_list", json::object())["label"], "Refresh list");

    EXPECT_EQ(call("fill_city", {{"value", "Lyon"}})["status"], "filled");
    EXPECT_EQ(pageValue(url, "document.querySelectorAll('[contenteditable]')[1].textContent"), "Lyon");
}

}  // namespace
}  // namespace velmor::browser
