// The page agent end to end, with every part real and on its fixed port: an MCP client
// (through velmor-bridge) asks velmor to inject the agent into a Chromium tab, the agent
// connects back, and the client hears of the new tools and can call them.
#include "browser/headless_chromium.h"
#include "browser/page_client.h"
#include "support/child_process.h"
#include "support/desktop_velmor.h"
#include "support/free_port.h"
#include "support/private_network.h"
#include "support/running_velmor.h"
#include "support/temp_home.h"

#include <chrono>
#include <gtest/gtest.h>
#include <memory>
#include <nlohmann/json.hpp>
#include <sys/stat.h>
#include <thread>

namespace velmor {
namespace {

using nlohmann::json;
using namespace std::chrono_literals;

const auto* const kPrivateNetwork = ::testing::AddGlobalTestEnvironment(new test::PrivateNetworkEnvironment);

using test::kListChanged;

class VelmorPageAgent : public ::testing::Test {
protected:
    void SetUp() override {
        if (!test::PrivateNetworkEnvironment::error.empty())
            GTEST_SKIP() << "no private network namespace: " << test::PrivateNetworkEnvironment::error;
        velmor = test::startVelmor(home.path());
        // The bridge reads HOME when it starts, before the browser fixture changes it.
        std::string diagnostics;
        bridge = test::startSubscribedBridge(diagnostics);
        ASSERT_FALSE(HasFailure());
        chromium = std::make_unique<browser::HeadlessChromium>(9222);
    }

    void send(const json& request) { bridge->writeStdin(request.dump() + "\n"); }
    // The next line from the bridge that is not a push.
    json nextAnswer() {
        std::string line;
        while (bridge->readLine(line) && line == kListChanged) {}
        return json::parse(line);
    }
    json callTool(int id, const std::string& name, const json& args) {
        return {{"jsonrpc", "2.0"}, {"id", id}, {"method", "tools/call"}, {"params", {{"name", name}, {"arguments", args}}}};
    }

    test::TempHome home;
    std::unique_ptr<test::ChildProcess> velmor, bridge;
    std::unique_ptr<browser::HeadlessChromium> chromium;
};

TEST_F(VelmorPageAgent, AnInjectedPageOffersItsControlsToTheClient) {
    chromium->openTab(chromium->pageUrl("agent.html"));
    send(callTool(1, "inject_webmcp", {{"browser", "chrome"}}));

    // The answer and the push may come in either order.
    bool answered = false, pushed = false;
    std::string line;
    while ((!answered || !pushed) && bridge->readLine(line, 15000)) {
        if (line == kListChanged) {
            pushed = true;
            continue;
        }
        json answer = json::parse(line);
        ASSERT_EQ(answer["id"], 1) << line;
        EXPECT_FALSE(answer["result"].value("isError", false)) << line;
        answered = true;
    }
    ASSERT_TRUE(answered && pushed) << "answered " << answered << ", pushed " << pushed;

    send({{"jsonrpc", "2.0"}, {"id", 2}, {"method", "tools/list"}});
    json listed = nextAnswer();
    std::vector<std::string> pageTools;
    for (const auto& tool : listed["result"]["tools"])
        if (tool.value("defer_loading", false)) pageTools.push_back(tool["name"]);
    EXPECT_EQ(pageTools, (std::vector<std::string>{"click_leave", "click_ring", "fill_guest"}));

    send(callTool(3, "click_ring", json::object()));
    json clicked = nextAnswer();
    EXPECT_EQ(clicked["id"], 3);
    EXPECT_NE(clicked["result"]["content"][0]["text"].get<std::string>().find("Clicked"), std::string::npos) << clicked;

    send(callTool(4, "web_execute_js", {{"js", "JSON.stringify({rung: window.rung})"}, {"url", "agent.html"}}));
    EXPECT_EQ(json::parse(nextAnswer()["result"]["content"][0]["text"].get<std::string>()), json({{"rung", 1}}));
}

// 100,000 levels of nesting, in an HTTP body and in a frame on either listener, are turned
// away like any unreadable text, and velmor goes on answering.
TEST_F(VelmorPageAgent, DeepNestingFromAnywhereLeavesVelmorServing) {
    std::string token = json::parse(test::readFile(home.path() + "/.velmor/config.json"))["token"];
    auto post = [&](const std::string& body) {
        std::string answer = test::sendAndReadAll(
            19820, "POST /mcp HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\nAuthorization: Bearer " + token +
                       "\r\nContent-Type: application/json\r\nContent-Length: " + std::to_string(body.size()) +
                       "\r\n\r\n" + body);
        return answer.substr(0, answer.find("\r\n"));
    };
    std::string deep = std::string(100'000, '[') + std::string(100'000, ']');
    // The id is what an answer copies back.
    EXPECT_EQ(post(R"({"jsonrpc":"2.0","method":"tools/list","id":)" + deep + "}"), post("not json"));

    boost::asio::ssl::context anyCertificate(boost::asio::ssl::context::tls_client);
    for (auto [port, tls] : {std::pair{19821, &anyCertificate}, {19822, nullptr}}) {
        test::PageClient client(port, tls, "https://evil.test");
        client.send(deep);
        client.send(R"({"type":"session_auth","nonce":)" + deep + "}");
        EXPECT_TRUE(client.pingAnswered()) << port;
    }

    send({{"jsonrpc", "2.0"}, {"id", 7}, {"method", "tools/list"}});
    EXPECT_EQ(nextAnswer()["id"], 7);

    // The wss:// listener served with the identity velmor made for this user at its first start.
    struct stat identity {};
    ASSERT_EQ(::stat((home.path() + "/.local/share/velmor/server.p12").c_str(), &identity), 0);
    EXPECT_EQ(identity.st_mode & 0777, 0600u);
}

}  // namespace
}  // namespace velmor
