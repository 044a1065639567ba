#include "browser/web_page_fixture.h"

#include "browser/key_events.h"
#include "support/free_port.h"

namespace velmor::browser {
namespace {

using nlohmann::json;

using WebActions = WebPageTest;

// Scanned web tools called by name go through the dispatcher's fall-through and the page's
// own listeners see the change.
TEST_F(WebActions, PageListenersObserveEveryAction) {
    std::string url = open("listeners.html");
    call("web_scan", {{"url", url}});

    EXPECT_EQ(call("fill_first_name", {{"value", "Ada \"the\" 'first'\\"}}),
              json({{"status", "filled"}, {"value", "Ada \"the\" 'first'\\"}}));
    EXPECT_EQ(pageValue(url, "state.name"), "Ada \"the\" 'first'\\");
    EXPECT_EQ(pageValue(url, "state.events"), json({"focus", "input:insertText", "change", "blur"}));
    call("fill_bio", {{"value", "line one\nline two"}});
    EXPECT_EQ(pageValue(url, "state.bio"), "line one\nline two");

    EXPECT_EQ(call("select_plan", {{"value", "pro"}})["status"], "selected");
    EXPECT_EQ(pageValue(url, "state.plan"), "pro");

    EXPECT_EQ(call("set_zoom", {{"value", "2.5"}}), json({{"status", "set"}, {"value", 2.5}}));
    EXPECT_EQ(pageValue(url, "state.zoom"), "2.5");
    call("set_zoom", {{"value", "lots"}});
    EXPECT_EQ(pageValue(url, "state.zoom"), "NaN");

    EXPECT_EQ(call("fill_story", {{"value", "Once upon a time"}}),
              json({{"status", "filled"}, {"value", "Once upon a time"}, {"method", "contenteditable"}}));
    EXPECT_EQ(pageValue(url, "state.story"), "Once upon a time");

    EXPECT_EQ(call("web_action", {{"tool_name", "click_go"}}), json({{"status", "clicked"}, {"label", "Go"}}));
    EXPECT_EQ(pageValue(url, "state.clicks"), 1);

    // Only the calls by name are steps of a flow, with the element they acted on.
    ASSERT_FALSE(recorded.empty());
    EXPECT_EQ(recorded.front().toolName, "fill_first_name");
    EXPECT_EQ(recorded.front().context, "browser-dom:#name");
    EXPECT_EQ(recorded.front().pageUrl, url);
    for (const auto& step : recorded) EXPECT_NE(step.toolName, "web_action");
}

TEST_F(WebActions, FillFormFindsFieldsByTheirDisplayedName) {
    std::string url = open("listeners.html");
    call("web_scan", {{"url", url}});
    json answer = call("fill_form", {{"fields", {{"First Name", "Grace"}, {"Surname", "Hopper"}, {"Bio", 42}}}});
    EXPECT_EQ(answer["status"], "filled");
    EXPECT_EQ(answer["results"],
              json::parse(R"([{"field":"Bio","result":{"status":"filled","value":"42"}},
                              {"field":"First Name","result":{"status":"filled","value":"Grace"}},
                              {"field":"Surname","error":"tool 'fill_surname' not found"}])"));
    EXPECT_EQ(pageValue(url, "state.name"), "Grace");
    EXPECT_EQ(call("fill_form", json::object()), json({{"error", "missing 'fields' object"}}));
}

// A script runs in the tab its URL pattern picks, whatever the letter case, or in the front
// tab; whatever it evaluates to comes back as a value (never as a failure), text that is not
// JSON as the text, and failures in the browser's words.
TEST_F(WebActions, ScriptsRunInThePickedTabAndAnswerValuesOrTheBrowsersWords) {
    std::string first = open("agent.html");
    std::string url = open("listeners.html");
    auto run = [&](const std::string& js, const std::string& pattern) {
        return call("web_execute_js", {{"js", js}, {"url", pattern}});
    };
    EXPECT_EQ(run("document.title", "LISTENERS.html"), json({{"result", "Listening page"}}));
    EXPECT_EQ(run("document.title", "Agent.HTML"), json({{"result", "Agent page"}}));
    // The front tab is the one opened last.
    EXPECT_EQ(call("web_execute_js", {{"js", "JSON.stringify({u: location.href})"}})["u"], url);

    EXPECT_EQ(run("6 * 7", url), json({{"result", 42}}));
    EXPECT_EQ(run("document.hidden === false || true", url), json({{"result", true}}));
    EXPECT_EQ(run("[1, 'two', null]", url), json({{"result", {1, "two", nullptr}}}));
    EXPECT_EQ(run("'[1,2]'", url), json({{"result", {1, 2}}}));
    EXPECT_EQ(run("JSON.stringify({a: 1})", url), json({{"a", 1}}));
    EXPECT_EQ(run("({a: [1]})", url), json::parse(R"({"a":[1]})"));
    // An object of the script's own is its data even with an "error" in it: the call took.
    EXPECT_EQ(run("({error: 'x'})", url), json({{"result", {{"error", "x"}}}}));
    EXPECT_EQ(run("JSON.stringify({error: 'x', code: 7})", url), json({{"result", {{"code", 7}, {"error", "x"}}}}));
    EXPECT_EQ(run("new Promise((done) => setTimeout(() => done('later'), 10))", url), json({{"result", "later"}}));

    EXPECT_EQ(run("undefined", url), json({{"error", "no result from Chrome"}}));
    std::string thrown = run("(() => { throw new Error('boom'); })()", url).value("error", "");
    EXPECT_TRUE(thrown.starts_with("Chrome: Error: boom")) << thrown;
    EXPECT_EQ(call("web_execute_js", json::object()), json({{"error", "missing 'js'"}}));
    EXPECT_EQ(injector->execute("click", "#missing[data-x='1']", std::nullopt, {url, ""}).error(),
              "Element not found: #missing[data-x='1']");
    EXPECT_EQ(injector->execute("hover", "#go", std::nullopt, {url, ""}).error(), "unknown action: hover");
    EXPECT_EQ(call("web_action", {{"tool_name", "click_nothing"}}),
              json({{"error", "web tool 'click_nothing' not found. Run web_scan first."}}));

    uint16_t closed = test::freePort();
    ScriptInjector nowhere({.devToolsPort = closed}, sessions.agents());
    std::string port = std::to_string(closed);
    EXPECT_EQ(nowhere.runJS("1").error(), "Chrome: cannot reach the DevTools endpoint at 127.0.0.1:" + port +
                                              " \xE2\x80\x94 start Chromium or Chrome with --remote-debugging-port=" + port);
}

// Key combinations reach the page's own key handlers with their modifiers, and the browser's
// own default actions follow: ctrl+a selects a field's text, shift+tab moves the focus back.
TEST_F(WebActions, KeyCombinationsReachThePageAndItsDefaultActions) {
    std::string url = open("listeners.html");
    call("web_scan", {{"url", url}});
    auto press = [&](const std::optional<std::string>& tool, const std::string& keys) {
        json args = {{"action", "press"}, {"value", keys}, {"url", url}};
        if (tool) args["tool_name"] = *tool;
        return call("web_action", args);
    };
    call("fill_first_name", {{"value", "Ada Lovelace"}});
    EXPECT_EQ(press("fill_first_name", "Ctrl+A"), json({{"status", "pressed"}, {"key", "a"}, {"modifiers", {"ctrl"}}}));
    EXPECT_EQ(pageValue(url, "[document.activeElement.id, document.activeElement.selectionStart, "
                             "document.activeElement.selectionEnd]"),
              json({"name", 0, 12}));
    // What is selected goes with one key, as the page's own model sees.
    EXPECT_EQ(press(std::nullopt, "Backspace")["status"], "pressed");
    EXPECT_EQ(pageValue(url, "state.name"), "");

    EXPECT_EQ(press("fill_bio", "shift+tab"),
              json({{"status", "pressed"}, {"key", "Tab"}, {"modifiers", {"shift"}}}));
    EXPECT_EQ(pageValue(url, "document.activeElement.id"), "name");
    EXPECT_EQ(press(std::nullopt, "cmd+shift+k"),
              json({{"status", "pressed"}, {"key", "K"}, {"modifiers", {"ctrl", "shift"}}}));
    // Shift types the shifted sign; Control and Alt type nothing.
    press(std::nullopt, "shift+1");
    press(std::nullopt, "alt+x");
    EXPECT_EQ(pageValue(url, "document.getElementById('name').value"), "!");
    EXPECT_EQ(pageValue(url, "state.keys"),
              json({"ctrl+Control", "ctrl+a", "Backspace", "shift+Shift", "shift+Tab", "ctrl+Control",
                    "ctrl+shift+Shift", "ctrl+shift+K", "shift+Shift", "shift+!", "alt+Alt", "alt+x"}));

    EXPECT_EQ(press(std::nullopt, "ctrl+hyper"),
              json({{"error", std::string("unknown key 'ctrl+hyper': use ") + knownKeyNames()}}));
    EXPECT_EQ(press(std::nullopt, "ctrl+shift"),
              json({{"error", std::string("unknown key 'ctrl+shift': use ") + knownKeyNames()}}));
}

// A click that takes the tab to another document answers once that document is there, and
// says where the tab went; one that moves within the page says so too, and one that stays says
// nothing of it.
TEST_F(WebActions, AClickThatNavigatesAnswersTheNewDocument) {
    std::string url = open("listeners.html");
    call("web_scan", {{"url", url}});
    EXPECT_FALSE(call("click_go", json::object()).contains("navigation"));
    EXPECT_EQ(call("navigate_jump_to_bio", json::object())["navigation"],
              json({{"status", "loaded"}, {"url", url + "#bio"}, {"title", "Listening page"}}));

    std::string next = chromium->pageUrl("delay/300/dialogs.html") + "?from=profile";
    EXPECT_EQ(call("navigate_open_dialogs", json::object()),
              json({{"status", "clicked"},
                    {"label", "Open dialogs"},
                    {"navigation", {{"status", "loaded"}, {"url", next}, {"title", "Dialogs"}}}}));
    json scan = call("web_scan", {{"url", "from=profile"}});
    EXPECT_EQ(scan["title"], "Dialogs");
    EXPECT_FALSE(toolNamed(scan, "click_say_hello").is_null()) << scan.dump(1);
}

// Quotes, backslashes and line breaks in a path arrive in the page exactly as given.
TEST_F(WebActions, NavigatesToAnyPathUnchanged) {
    std::string url = open("listeners.html");
    std::string path = "#it's \"a\" \\path\nwith a break";
    json navigated = call("web_navigate", {{"path", path}, {"url", url}});
    EXPECT_EQ(navigated["status"], "loaded") << navigated.dump();
    EXPECT_EQ(navigated["path"], path);
    EXPECT_EQ(pageValue(url, "decodeURIComponent(location.hash)"), "#it's \"a\" \\pathwith a break")
        << "the URL parser drops line breaks; everything else is kept";
    EXPECT_EQ(call("web_navigate", {{"url", url}}), json({{"error", "missing 'path'"}}));
}

// Ids and values that carry the names of the script's own placeholders arrive as data.
TEST_F(WebActions, PlaceholderNamesInSelectorsAndValuesStayData) {
    std::string url = open("placeholders.html");
    call("web_scan", {{"url", url}});
    ASSERT_EQ(sessions.webTools().get("fill_note")->selector, "#note__VALUE__");
    std::string value = "__SELECTOR__ __ACTION__ __VALUE__'); window.pwned = 1; ('";
    EXPECT_EQ(call("fill_note", {{"value", value}}), json({{"status", "filled"}, {"value", value}}));
    EXPECT_EQ(pageValue(url, "document.getElementById('note__VALUE__').value"), value);
    EXPECT_EQ((*injector->execute("click", "#send__SELECTOR__", "__ACTION__", {url, ""}))["status"], "clicked");
    EXPECT_EQ(pageValue(url, "window.sent"), 1);
    EXPECT_EQ((*injector->execute("fill", "#note__VALUE__", "__SELECTOR__", {url, ""}))["value"], "__SELECTOR__");
    EXPECT_EQ(pageValue(url, "window.pwned === undefined"), true);
}

}  // namespace
}  // namespace velmor::browser
