// Controls a page keeps out of its own document tree: inside web components' shadow roots
// (Shoelace, from npm) and inside frames of its own and of another origin. Each task is done
// with scanned tools and checked in what the page sent to the stand-in API.
#include "browser/web_page_fixture.h"

namespace velmor::browser {
namespace {

using nlohmann::json;
using namespace std::chrono_literals;

class WebEmbedded : public WebPageTest {
protected:
    // The body of every request the pages sent to `path`, waiting a little for the first.
    std::vector<json> sentTo(const std::string& path) {
        std::vector<json> bodies;
        test::eventually([&] {
            bodies.clear();
            for (const auto& request : chromium->apiRequests())
                if (request["path"] == path) bodies.push_back(json::parse(request["body"].get<std::string>()));
            return !bodies.empty();
        }, 5s);
        return bodies;
    }
};

TEST_F(WebEmbedded, AWebComponentsInputIsFilledAndItsButtonPressed) {
    std::string url = open("components.html");
    ASSERT_TRUE(test::eventually(
        [&] { return pageValue(url, "!!document.querySelector('sl-button').shadowRoot?.querySelector('button')") == true; },
        10s));

    json scan = call("web_scan", {{"url", url}});
    std::string email = toolLabelled(scan, "Email address");
    std::string nickname = toolLabelled(scan, "Nickname");
    std::string join = toolLabelled(scan, "Join now");
    ASSERT_EQ(email, "fill_email_address") << scan.dump(1);
    ASSERT_EQ(nickname, "fill_nickname");
    ASSERT_EQ(join.rfind("click_join_now", 0), 0u) << scan.dump(1);
    // The labels are drawn inside the components; a reader sees them all the same.
    EXPECT_NE(scan["content"].get<std::string>().find("Email address"), std::string::npos) << scan["content"];

    EXPECT_EQ(call(email, {{"value", "ada@example.com"}})["status"], "filled");
    EXPECT_EQ(call(nickname, {{"value", "Ada"}})["status"], "filled");
    EXPECT_EQ(call(join, json::object())["status"], "clicked");
    EXPECT_EQ(sentTo("/api/join"), std::vector<json>({{{"email", "ada@example.com"}, {"nickname", "Ada"}}}));
    EXPECT_EQ(pageValue(url, "document.querySelector('sl-input').value"), "ada@example.com");
}

TEST_F(WebEmbedded, FormsInFramesOfThisAndAnotherOriginAreSubmitted) {
    std::string url = open("frames.html?other=" + std::to_string(chromium->otherOriginPort()));
    json scan;
    // The frames load after the page.
    ASSERT_TRUE(test::eventually([&] {
        scan = call("web_scan", {{"url", url}});
        return scan["toolCount"] == 6;
    }, 10s)) << scan.dump(1);

    // The page's own form keeps plain names; the frames' alike forms take the frames' names.
    for (const char* name : {"fill_email", "fill_email_billing", "fill_email_shipping"})
        EXPECT_FALSE(toolNamed(scan, name).is_null()) << name << "\n" << scan.dump(1);
    EXPECT_EQ(toolNamed(scan, "fill_email_shipping")["description"], "Fill \"Email\" in frame \"shipping\"");
    std::string sendBilling, sendShipping;
    for (const auto& tool : scan["tools"]) {
        if (tool["label"] != "Send") continue;
        std::string name = tool["name"];
        (name.find("billing") != std::string::npos ? sendBilling : sendShipping) = name;
    }
    ASSERT_FALSE(sendBilling.empty() || sendShipping.empty()) << scan.dump(1);
    EXPECT_NE(scan["content"].get<std::string>().find("Details for the shipping address"), std::string::npos)
        << scan["content"];

    EXPECT_EQ(call("fill_email_billing", {{"value", "bill@example.com"}})["status"], "filled");
    EXPECT_EQ(call(sendBilling, json::object())["status"], "clicked");
    EXPECT_EQ(call("fill_email_shipping", {{"value", "ship@example.com"}})["status"], "filled");
    EXPECT_EQ(call(sendShipping, json::object())["status"], "clicked");
    EXPECT_EQ(sentTo("/api/billing"), std::vector<json>({{{"email", "bill@example.com"}}}));
    EXPECT_EQ(sentTo("/api/shipping"), std::vector<json>({{{"email", "ship@example.com"}}}));
    for (const auto& request : chromium->apiRequests()) EXPECT_NE(request["path"], "/api/newsletter");
    EXPECT_EQ(call("fill_email_returns", {{"value", "x"}}),
              json({{"error", "web tool 'fill_email_returns' not found. Run web_scan first."}}));
    json content = call("web_content", {{"url", url}});
    EXPECT_NE(content["content"].get<std::string>().find("Billing details"), std::string::npos) << content.dump();

    call("web_execute_js", {{"js", "document.querySelector('iframe[name=Billing]').remove()"}, {"url", url}});
    EXPECT_EQ(call("fill_email_billing", {{"value", "late@example.com"}}),
              json({{"error", "Chrome: the frame is gone; run web_scan again"}}));
}

// http://localhost is another site than http://127.0.0.1: the browser runs that frame in a
// renderer process of its own, out of reach of the tab's own DevTools session.
TEST_F(WebEmbedded, AFormInAFrameOfAnotherSiteIsSubmitted) {
    std::string url = open("site_frames.html?other=" + std::to_string(chromium->otherOriginPort()));
    json scan;
    ASSERT_TRUE(test::eventually([&] {
        scan = call("web_scan", {{"url", url}});
        return scan["toolCount"] == 4;
    }, 10s)) << scan.dump(1);

    EXPECT_EQ(toolNamed(scan, "fill_email_delivery")["description"], "Fill \"Email\" in frame \"Delivery\"")
        << scan.dump(1);
    EXPECT_FALSE(toolNamed(scan, "fill_email_billing").is_null()) << scan.dump(1);
    std::string sendDelivery;
    for (const auto& tool : scan["tools"])
        if (tool["label"] == "Send" && tool["name"].get<std::string>().find("delivery") != std::string::npos)
            sendDelivery = tool["name"];
    ASSERT_FALSE(sendDelivery.empty()) << scan.dump(1);

    EXPECT_EQ(call("fill_email_delivery", {{"value", "door@example.com"}})["status"], "filled");
    EXPECT_EQ(call(sendDelivery, json::object())["status"], "clicked");
    EXPECT_EQ(sentTo("/api/delivery"), std::vector<json>({{{"email", "door@example.com"}}}));
    json content = call("web_content", {{"url", url}});
    EXPECT_NE(content["content"].get<std::string>().find("Details for the delivery address"), std::string::npos)
        << content.dump();
    EXPECT_EQ(call("web_wait_for", {{"text", "delivery details"}, {"url", url}})["status"], "appeared");

    // Keys go to the frame's own renderer: Enter in its field sends its form again.
    EXPECT_EQ(call("fill_email_delivery", {{"value", "porch@example.com"}})["status"], "filled");
    EXPECT_EQ(call("web_action", {{"tool_name", "fill_email_delivery"}, {"action", "press"}, {"value", "Enter"}})["status"],
              "pressed");
    ASSERT_TRUE(test::eventually([&] { return sentTo("/api/delivery").size() == 2; }, 5s));
    EXPECT_EQ(sentTo("/api/delivery").back(), json({{"email", "porch@example.com"}}));

    call("web_execute_js", {{"js", "document.getElementById('delivery').remove()"}, {"url", url}});
    EXPECT_EQ(call("fill_email_delivery", {{"value", "late@example.com"}}), json({{"error", kFrameGoneError}}));
}

// A frame of another site that stops answering costs a scan only its own controls.
TEST_F(WebEmbedded, AFrameOfAnotherSiteThatNeverAnswersIsLeftOut) {
    std::string url = open("site_frames.html?other=" + std::to_string(chromium->otherOriginPort()));
    ASSERT_TRUE(test::eventually([&] { return call("web_scan", {{"url", url}})["toolCount"] == 4; }, 10s));
    call("web_execute_js", {{"js", "document.getElementById('delivery').contentWindow.postMessage('stall', '*')"},
                            {"url", url}});

    json scan = call("web_scan", {{"url", url}});
    EXPECT_FALSE(toolNamed(scan, "fill_email").is_null()) << scan.dump(1);
    EXPECT_TRUE(toolNamed(scan, "fill_email_delivery").is_null()) << scan.dump(1);
    ASSERT_EQ(scan["unread_frames"].size(), 1u) << scan.dump(1);
    EXPECT_NE(scan["unread_frames"][0]["url"].get<std::string>().find("form=delivery"), std::string::npos);
    EXPECT_EQ(call("fill_email", {{"value", "still@example.com"}})["status"], "filled");
}

}  // namespace
}  // namespace velmor::browser
