// web_wait_for against pages that change while it waits.
#include "browser/web_page_fixture.h"

namespace velmor::browser {
namespace {

using nlohmann::json;

using WebWaits = WebPageTest;

// A status line the page shows two seconds after a save is waited for and quoted, and its
// leaving is waited for too; text the user cannot see never counts, and a wait that runs out
// says what did not happen.
TEST_F(WebWaits, TextAndElementsAreWaitedForUntilShownAndUntilGone) {
    std::string url = open("unlabeled.html");
    call("web_execute_js", {{"js", R"(setTimeout(() => {
        const status = document.createElement('p');
        status.id = 'status';
        status.innerHTML = 'Settings   <b>SAVED</b> at 10:42';
        document.body.append(status);
        setTimeout(() => { status.style.display = 'none'; }, 1000);
      }, 2000); 'armed')"}, {"url", url}});

    json appeared = call("web_wait_for", {{"text", "settings saved"}, {"url", url}});
    ASSERT_EQ(appeared["status"], "appeared") << appeared.dump();
    EXPECT_NE(appeared["seen"].get<std::string>().find("Settings SAVED at 10:42"), std::string::npos) << appeared;
    EXPECT_EQ(appeared["count"], 1);
    EXPECT_EQ(appeared["text"], "settings saved");
    EXPECT_TRUE(appeared["waited_ms"].is_number_integer());
    EXPECT_EQ(pageValue(url, "getComputedStyle(document.getElementById('status')).display"), "block")
        << "answered while the line is shown";

    json gone = call("web_wait_for", {{"selector", "#status"}, {"gone", true}, {"url", url}});
    EXPECT_EQ(gone["status"], "gone") << gone.dump();
    EXPECT_EQ(gone["selector"], "#status");
    EXPECT_FALSE(gone.contains("seen"));
    EXPECT_EQ(pageValue(url, "document.getElementById('status').style.display"), "none");

    EXPECT_EQ(call("web_wait_for", {{"text", "Ghost button"}, {"timeout_ms", 300}, {"url", url}}),
              json({{"error", "the text \"Ghost button\" did not appear within 0.3 s"}}))
        << "the page holds the text in a hidden button";
    EXPECT_EQ(call("web_wait_for", {{"selector", "#status"}, {"timeout_ms", 0}, {"url", url}}),
              json({{"error", "no element matching \"#status\" appeared within 0 s"}}));
    EXPECT_EQ(call("web_wait_for", {{"text", "settings saved"}, {"gone", true}, {"timeout_ms", 0}, {"url", url}})["status"],
              "gone");
    json preview = call("web_wait_for", {{"selector", "button, input[type=button]"}, {"text", "preview"}, {"url", url}});
    EXPECT_EQ(preview["status"], "appeared") << preview.dump();
    EXPECT_EQ(preview["seen"], "Preview");
    EXPECT_EQ(call("web_wait_for", {{"text", "Preview"}, {"gone", true}, {"timeout_ms", 200}, {"url", url}}),
              json({{"error", "the text \"Preview\" was still shown after 0.2 s"}}));

    EXPECT_TRUE(call("web_wait_for", {{"selector", "p:::x"}, {"url", url}})
                    .value("error", "")
                    .starts_with("invalid selector 'p:::x': "));
    EXPECT_EQ(call("web_wait_for", {{"url", url}}), json({{"error", "missing 'text' or 'selector'"}}));
    EXPECT_EQ(call("web_wait_for", {{"text", "x"}, {"timeout_ms", -1}}), json({{"error", "timeout_ms must be 0 or more"}}));
    EXPECT_EQ(call("web_wait_for", {{"text", "x"}, {"timeout_ms", 3'600'000}}),
              json({{"error", "a wait of 3600000 ms is longer than the 10 minutes allowed"}}));
}

// What frames (one of another origin, loaded late) and web components show counts as the page's.
TEST_F(WebWaits, FramesAndShadowRootsArePartOfThePage) {
    std::string url = open("embedded.html?other=" + std::to_string(chromium->otherOriginPort()));
    json framed = call("web_wait_for", {{"text", "Shipping details"}, {"url", url}});
    EXPECT_EQ(framed["status"], "appeared") << framed.dump();
    EXPECT_EQ(framed["seen"], "Shipping details Details for the shipping address. Email")
        << "the text with what stands around it";
    json shadowed = call("web_wait_for", {{"selector", "button"}, {"text", "sign in"}, {"url", url}});
    EXPECT_EQ(shadowed["status"], "appeared") << shadowed.dump();
    EXPECT_EQ(shadowed["seen"], "Sign in");
}

}  // namespace
}  // namespace velmor::browser
