// A DevTools endpoint that answers with JSON nested 100,000 levels deep, as a hostile or broken
// browser might: the script injector answers its usual errors and goes on working.
#include "browser/script_injector.h"

#include <boost/asio.hpp>
#include <boost/beast/core.hpp>
#include <boost/beast/http.hpp>
#include <boost/beast/websocket.hpp>
#include <gtest/gtest.h>
#include <atomic>
#include <mutex>
#include <thread>

namespace velmor::browser {
namespace {

namespace asio = boost::asio;
namespace beast = boost::beast;
namespace http = beast::http;
namespace websocket = beast::websocket;
using tcp = asio::ip::tcp;
using nlohmann::json;

// Answers /json/list with `tabList` (one page tab pointing back here unless set), a script run
// with `{"id":N,"result":` + `result` + `}`, and every other command with an empty result, one
// connection at a time.
class FakeDevTools {
public:
    FakeDevTools() : acceptor_(io_, {asio::ip::make_address_v4("127.0.0.1"), 0}) {
        thread_ = std::thread([this] { serve(); });
    }
    ~FakeDevTools() {
        // A blocking accept does not notice the acceptor closing; a last connection wakes it.
        stopping_ = true;
        tcp::socket wake(io_);
        beast::error_code ignored;
        wake.connect({asio::ip::make_address_v4("127.0.0.1"), port()}, ignored);
        thread_.join();
    }
    uint16_t port() const { return acceptor_.local_endpoint().port(); }
    void answerWith(std::string tabList, std::string answer) {
        std::lock_guard lock(mutex_);
        tabList_ = std::move(tabList);
        answer_ = std::move(answer);
    }
    std::string pageTab() const {
        std::string debugger = "ws://127.0.0.1:" + std::to_string(port()) + "/devtools/page/1";
        return json::array({{{"type", "page"}, {"url", "http://fake.test/"}, {"webSocketDebuggerUrl", debugger}}}).dump();
    }

private:
    void serve() {
        for (;;) {
            beast::error_code error;
            tcp::socket socket(io_);
            acceptor_.accept(socket, error);
            if (error || stopping_) return;
            std::string tabList, answer;
            {
                std::lock_guard lock(mutex_);
                tabList = tabList_;
                answer = answer_;
            }
            beast::flat_buffer buffer;
            http::request<http::string_body> request;
            http::read(socket, buffer, request, error);
            if (error) continue;
            if (websocket::is_upgrade(request)) {
                websocket::stream<tcp::socket> ws(std::move(socket));
                ws.accept(request, error);
                while (!error) {
                    beast::flat_buffer incoming;
                    ws.read(incoming, error);
                    if (error) break;
                    json command = json::parse(beast::buffers_to_string(incoming.data()));
                    std::string id = command["id"].dump();
                    std::string reply = command["method"] == "Runtime.evaluate"
                                            ? R"({"id":)" + id + R"(,"result":)" + answer + "}"
                                            : R"({"id":)" + id + R"(,"result":{}})";
                    ws.write(asio::buffer(reply), error);
                }
            } else {
                http::response<http::string_body> response{http::status::ok, 11};
                response.body() = tabList;
                response.prepare_payload();
                http::write(socket, response, error);
            }
        }
    }

    asio::io_context io_;
    tcp::acceptor acceptor_;
    std::mutex mutex_;
    std::string tabList_, answer_;
    std::atomic<bool> stopping_{false};
    std::thread thread_;
};

TEST(DevToolsAnswers, DeepNestingGivesTheUsualErrorsAndTheNextAnswerIsRead) {
    FakeDevTools devTools;
    PageAgents agents;
    ScriptInjector injector({.devToolsPort = devTools.port()}, agents);
    std::string deep = std::string(100'000, '[') + std::string(100'000, ']');

    // The answer to the script is the session's second command, after Page.enable.
    devTools.answerWith(devTools.pageTab(), deep);
    EXPECT_EQ(injector.runJS("1").error(), "invalid JSON from Chrome: {\"id\":2,\"result\":" + std::string(200 - 17, '['));

    // A deep text as the script's value stays text: it is never parsed into a value.
    json deepValue = {{"result", {{"type", "string"}, {"value", deep}}}};
    devTools.answerWith(devTools.pageTab(), deepValue.dump());
    EXPECT_EQ(*injector.runJS("1"), json({{"result", deep}}));

    devTools.answerWith(deep, "{}");
    EXPECT_EQ(injector.runJS("1").error(), "Chrome: unreadable tab list from the DevTools endpoint");

    json fine = {{"result", {{"type", "string"}, {"value", R"({"ok":true})"}}}};
    devTools.answerWith(devTools.pageTab(), fine.dump());
    EXPECT_EQ(*injector.runJS("1"), json({{"ok", true}}));
}

}  // namespace
}  // namespace velmor::browser
