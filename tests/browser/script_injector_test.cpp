// The script injector against a DevTools stub: which tab the work goes to, and what the
// agent is told when the browser or the page fails. Real pages are the Chromium tests' part.
#include "browser/key_events.h"
#include "browser/script_injector.h"
#include "browser/stub_devtools.h"

#include <gtest/gtest.h>
#include <algorithm>
#include <map>

namespace velmor::browser {
namespace {

using nlohmann::json;
using test::StubDevTools;

// A script's answer as the protocol carries it: {"result": {"value": value}}.
Result<json> evaluated(json value) { return json{{"result", {{"type", "object"}, {"value", std::move(value)}}}}; }

class ScriptInjectorTest : public ::testing::Test {
protected:
    ScriptInjectorTest() {
        devTools->pages = {{"front", "https://mail.example/inbox", "Inbox", ""},
                           {"shop", "https://Shop.Example/cart#/list", "Cart", ""}};
        // Every script answers the JSON text of an object naming the tab it ran in.
        devTools->answer = [](const std::string& target, const std::string&, const json&) {
            return evaluated(json{{"tab", target}}.dump());
        };
    }

    std::shared_ptr<StubDevTools> devTools = std::make_shared<StubDevTools>();
    PageAgents agents;
    ScriptInjector injector{ScriptInjector::Endpoints{}, devTools, agents};
};

TEST_F(ScriptInjectorTest, WorkGoesToTheRememberedTabThenTheMatchingOneThenTheFront) {
    EXPECT_EQ(*injector.runJS("1"), json({{"tab", "front"}}));
    // Letter case and the #fragment do not count; a pattern that is only a fragment does.
    EXPECT_EQ(*injector.runJS("1", "auto", "shop.example/CART#/details"), json({{"tab", "shop"}}));
    EXPECT_EQ(*injector.runJS("1", "Chrome", "#/list"), json({{"tab", "shop"}}));
    EXPECT_EQ(injector.runJS("1", "auto", "nowhere").error(), "no Chrome tab matching 'nowhere'");

    // A scan tells which tab it read; an action goes straight back there without a listing.
    auto scan = injector.scan("auto", "cart");
    EXPECT_EQ(scan.targetId, "shop");
    devTools->log.clear();
    EXPECT_EQ(*injector.execute("click", "#buy", std::nullopt, {std::nullopt, scan.targetId}), json({{"tab", "shop"}}));
    EXPECT_EQ(devTools->log.front(), "connect shop");
    EXPECT_EQ(std::count(devTools->log.begin(), devTools->log.end(), "list"), 0);
    EXPECT_TRUE(std::count(devTools->log.begin(), devTools->log.end(), "shop Emulation.setFocusEmulationEnabled"));

    // The remembered tab has gone: the pattern finds another.
    devTools->goneTargets = {"shop"};
    EXPECT_EQ(*injector.execute("click", "#buy", std::nullopt, {"inbox", "shop"}), json({{"tab", "front"}}));

    // A scan that failed remembers no tab.
    devTools->answer = [](const std::string&, const std::string&, const json&) { return evaluated(nullptr); };
    EXPECT_EQ(injector.scan("auto", std::nullopt).targetId, "");

    EXPECT_EQ(injector.runJS("1", "SAFARI").error(), "Safari: not available on this system; use Chromium or Chrome");
    devTools->pages.clear();
    EXPECT_EQ(injector.runJS("1").error(), "no Chrome windows");
    devTools->listFailure = "Chrome: the DevTools endpoint answered HTTP 500";
    EXPECT_EQ(injector.runJS("1").error(), "Chrome: the DevTools endpoint answered HTTP 500");
}

TEST_F(ScriptInjectorTest, FailuresOfThePageAndTheBrowserAreToldAsTheyHappened) {
    // What each script makes the page answer, by its text.
    std::map<std::string, Result<json>> replies = {
        {"throws", json{{"exceptionDetails", {{"text", "Uncaught"}, {"exception", {{"description", "ReferenceError: x is not defined"}}}}}}},
        {"rejects", json{{"exceptionDetails", {{"text", "Uncaught (in promise)"}}}}},
        {"breaks", json{{"exceptionDetails", json::object()}}},
        {"nothing", json::object()},
        {"undefined", json{{"result", {{"type", "undefined"}}}}},
        {"null", evaluated(nullptr)},
        {"empty", evaluated("")},
    };
    devTools->answer = [&](const std::string&, const std::string& method, const json& params) -> Result<json> {
        if (method != "Runtime.evaluate") return fail("Chrome: 'Input.dispatchKeyEvent' wasn't found");
        auto reply = replies.find(params.at("expression").get<std::string>());
        return reply != replies.end() ? reply->second : evaluated(R"({"status":"clicked"})");
    };
    auto failure = [&](const std::string& script) { return injector.runJS(script).error(); };
    EXPECT_EQ(failure("throws"), "Chrome: ReferenceError: x is not defined");
    EXPECT_EQ(failure("rejects"), "Chrome: Uncaught (in promise)");
    EXPECT_EQ(failure("breaks"), "Chrome: script error");
    for (const char* script : {"nothing", "undefined", "null", "empty"})
        EXPECT_EQ(failure(script), "no result from Chrome") << script;

    // A key: unknown names are refused before anything is sent; a refused event is reported.
    EXPECT_EQ(injector.execute("press", "", std::string("hyper"), {}).error(),
              std::string("unknown key 'hyper': use ") + knownKeyNames());
    EXPECT_EQ(injector.execute("press", "#field", std::string("enter"), {}).error(),
              "Chrome: 'Input.dispatchKeyEvent' wasn't found");

    devTools->goneTargets = {"front"};
    EXPECT_EQ(failure("1"), "Chrome: cannot connect to the tab within 5 s");
}

}  // namespace
}  // namespace velmor::browser
