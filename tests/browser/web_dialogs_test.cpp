// Dialogs a page opens on its own, between Velmor's calls: they never leave the tab blocked.
// Whether a dialog is open is seen through the test's own DevTools listener on the tab.
#include "browser/web_page_fixture.h"

namespace velmor::browser {
namespace {

using nlohmann::json;
using namespace std::chrono_literals;

class WebDialogs : public WebPageTest {
protected:
    // Opens dialogs.html and has the test listen to the tab's dialogs.
    std::string openWatched() {
        std::string url = open("dialogs.html");
        watch().watch(tabs.back());
        return url;
    }
    DialogWatch& watch() { return *ownDevTools.dialogWatch(); }
    // Has the page open a dialog from a timer, armed over the test's own connection so that
    // no call of Velmor's runs when it opens, and waits until it is open.
    void dialogFromTimer(const std::string& opening) {
        auto session = ownDevTools.connect(tabs.back());
        ASSERT_TRUE(session) << session.error();
        (*session)->answerDialogs(false);
        auto armed = (*session)->call("Runtime.evaluate", {{"expression", "setTimeout(() => { " + opening + " }, 0)"}});
        ASSERT_TRUE(armed) << armed.error();
        ASSERT_TRUE(test::eventually([&] { return watch().openDialog(tabs.back()).has_value(); }, 10s));
    }

    ChromiumDevTools ownDevTools{"127.0.0.1", chromium->devToolsPort()};
};

// Every call after the dialog answers: the first answers the dialog by the usual rule and
// says so; web_navigate also takes the tab past one.
TEST_F(WebDialogs, ATimerDialogBlocksNoLaterCall) {
    std::string url = openWatched();
    call("web_scan", {{"url", url}});
    dialogFromTimer("state.confirmed = confirm('Still there?');");

    json scan = call("web_scan", {{"url", url}});
    EXPECT_EQ(scan["dialog"], json({{"type", "confirm"}, {"message", "Still there?"}})) << scan.dump();
    EXPECT_EQ(scan["title"], "Dialogs");
    json content = call("web_content", {{"url", url}});
    EXPECT_FALSE(content.contains("error")) << content.dump();
    EXPECT_FALSE(content.contains("dialog"));
    EXPECT_EQ(call("web_execute_js", {{"js", "JSON.stringify({confirmed: state.confirmed})"}, {"url", url}}),
              json({{"confirmed", false}}));

    dialogFromTimer("alert('Session expired'); state.after.push('alert');");
    json navigated = call("web_navigate", {{"path", "dialogs.html?after=alert"}, {"url", url}});
    EXPECT_EQ(navigated["status"], "loaded") << navigated.dump();
    EXPECT_EQ(navigated["dialog"], json({{"type", "alert"}, {"message", "Session expired"}}));
    EXPECT_EQ(navigated["url"], chromium->pageUrl("dialogs.html?after=alert"));
}

// An agent answers the dialog itself: the prompt's text reaches the page.
TEST_F(WebDialogs, AnAgentAnswersAPromptItself) {
    std::string url = openWatched();
    call("web_scan", {{"url", url}});
    EXPECT_EQ(call("web_handle_dialog", json::object()),
              json({{"error", "no dialog is open in any tab Velmor has worked in"}}));
    dialogFromTimer("state.name = prompt('Your name?', 'Ada');");

    EXPECT_EQ(call("web_handle_dialog", {{"accept", true}, {"prompt_text", "Grace Hopper"}}),
              json({{"status", "accepted"},
                    {"dialog", {{"type", "prompt"}, {"message", "Your name?"}}},
                    {"prompt_text", "Grace Hopper"}}));
    EXPECT_EQ(pageValue(url, "state.name"), "Grace Hopper");
    EXPECT_EQ(call("web_handle_dialog", {{"accept", false}, {"url", url}}),
              json({{"error", "no dialog is open in the tab"}}));

    dialogFromTimer("state.confirmed = confirm('Delete everything?');");
    EXPECT_EQ(call("web_handle_dialog", {{"accept", true}, {"url", url}})["status"], "accepted");
    EXPECT_EQ(pageValue(url, "state.confirmed"), true);
}

// A dialog that opened before Velmor first reached the tab cannot be heard of; the call that
// runs into it says what may hold the page, and web_navigate leaves it all the same.
TEST_F(WebDialogs, ADialogOpenBeforeVelmorCameIsNamedAndNavigatedPast) {
    std::string url = openWatched();
    dialogFromTimer("alert('Here before you');");

    ScriptInjector::Endpoints impatient{.devToolsPort = chromium->devToolsPort()};
    impatient.limits.answer = 1500ms;
    ScriptInjector injector(impatient, sessions.agents());
    auto blocked = injector.runJS("document.title", "chrome", url);
    EXPECT_EQ(blocked.error(),
              "Chrome: the page did not answer within 1.5 s; the page may show a dialog that opened before Velmor "
              "reached the tab: web_navigate takes the tab past it");
    auto navigated = injector.navigate("./dialogs.html?after=blocked", url);
    ASSERT_TRUE(navigated) << navigated.error();
    EXPECT_EQ((*navigated)["status"], "loaded") << navigated->dump();
    EXPECT_EQ(*injector.runJS("location.search", "chrome", "after=blocked"), json({{"result", "?after=blocked"}}));
}

}  // namespace
}  // namespace velmor::browser
