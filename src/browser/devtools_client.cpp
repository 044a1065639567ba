#include "browser/devtools_client.h"

#include "app/json_depth.h"

#include <boost/asio/connect.hpp>
#include <boost/asio/ip/tcp.hpp>
#include <boost/beast/core.hpp>
#include <boost/beast/http.hpp>
#include <boost/beast/websocket.hpp>
#include <chrono>
#include <nlohmann/json.hpp>
#include <optional>

namespace velmor::browser {

namespace {

namespace asio = boost::asio;
namespace beast = boost::beast;
namespace http = beast::http;
namespace websocket = beast::websocket;
using tcp = asio::ip::tcp;
using nlohmann::json;

// A script may legitimately run for a while (a page scan of a large page); a browser that
// stops answering altogether must not hold a tool call forever.
constexpr auto kCallTimeout = std::chrono::seconds(60);

// "ws://127.0.0.1:9222/devtools/page/ID" -> host, port and target.
struct WebSocketAddress {
    std::string host, port, target;
};

std::optional<WebSocketAddress> splitWebSocketUrl(const std::string& url) {
    const std::string scheme = "ws://";
    if (!url.starts_with(scheme)) return std::nullopt;
    auto slash = url.find('/', scheme.size());
    if (slash == std::string::npos) return std::nullopt;
    std::string authority = url.substr(scheme.size(), slash - scheme.size());
    auto colon = authority.rfind(':');
    if (colon == std::string::npos) return std::nullopt;
    return WebSocketAddress{authority.substr(0, colon), authority.substr(colon + 1), url.substr(slash)};
}

// The text under `key`, empty when missing or not a string.
std::string stringField(const json& object, const char* key) {
    auto found = object.find(key);
    return found != object.end() && found->is_string() ? found->get<std::string>() : std::string();
}

std::string exceptionText(const json& details) {
    if (auto exception = details.find("exception"); exception != details.end()) {
        if (std::string description = stringField(*exception, "description"); !description.empty()) return description;
    }
    std::string text = stringField(details, "text");
    return text.empty() ? "script error" : text;
}

// Reads the answer to Runtime.evaluate.
std::variant<EvaluationResult, DevToolsError> evaluationOf(const json& message) {
    if (auto error = message.find("error"); error != message.end()) {
        std::string text = stringField(*error, "message");
        return DevToolsError{"Chrome: " + (text.empty() ? std::string("protocol error") : text)};
    }
    auto found = message.find("result");
    if (found == message.end() || !found->is_object()) return EvaluationResult{};
    if (auto details = found->find("exceptionDetails"); details != found->end())
        return DevToolsError{"Chrome: " + exceptionText(*details)};
    auto remote = found->find("result");
    if (remote == found->end()) return EvaluationResult{};
    auto value = remote->find("value");
    if (value == remote->end() || value->is_null()) return EvaluationResult{};
    if (value->is_string()) return EvaluationResult{true, value->get<std::string>()};
    return EvaluationResult{true, value->dump()};
}

}  // namespace

DevToolsClient::DevToolsClient(std::string host, uint16_t port) : host_(std::move(host)), port_(port) {}

std::string DevToolsClient::unreachable() const {
    return "Chrome: cannot reach the DevTools endpoint at " + host_ + ":" + std::to_string(port_) +
           " \xE2\x80\x94 start Chromium or Chrome with --remote-debugging-port=" + std::to_string(port_);
}

std::variant<std::vector<DevToolsPage>, DevToolsError> DevToolsClient::listPages() const {
    std::string body;
    try {
        asio::io_context io;
        beast::tcp_stream stream(io);
        stream.expires_after(kCallTimeout);
        tcp::resolver resolver(io);
        stream.connect(resolver.resolve(host_, std::to_string(port_)));
        http::request<http::empty_body> request{http::verb::get, "/json/list", 11};
        request.set(http::field::host, host_ + ":" + std::to_string(port_));
        http::write(stream, request);
        beast::flat_buffer buffer;
        http::response<http::string_body> response;
        http::read(stream, buffer, response);
        beast::error_code ignored;
        stream.socket().shutdown(tcp::socket::shutdown_both, ignored);
        if (response.result() != http::status::ok)
            return DevToolsError{"Chrome: the DevTools endpoint answered HTTP " +
                                 std::to_string(response.result_int())};
        body = std::move(response.body());
    } catch (const std::exception&) {
        return DevToolsError{unreachable()};
    }
    json targets = parseBoundedJson(body);
    if (!targets.is_array()) return DevToolsError{"Chrome: unreadable tab list from the DevTools endpoint"};
    std::vector<DevToolsPage> pages;
    for (const auto& target : targets) {
        // Omnibox popups and other browser UI are listed too; only pages run page scripts.
        if (!target.is_object() || stringField(target, "type") != "page") continue;
        pages.push_back({stringField(target, "url"), stringField(target, "title"),
                         stringField(target, "webSocketDebuggerUrl")});
    }
    return pages;
}

std::variant<EvaluationResult, DevToolsError> DevToolsClient::evaluate(const DevToolsPage& page,
                                                                      const std::string& expression) const {
    auto address = splitWebSocketUrl(page.webSocketDebuggerUrl);
    // A tab without a debugger URL is already attached to another DevTools client.
    if (!address) return DevToolsError{"Chrome: the tab is already being debugged by another client"};
    try {
        asio::io_context io;
        websocket::stream<beast::tcp_stream> ws(io);
        beast::get_lowest_layer(ws).expires_after(kCallTimeout);
        tcp::resolver resolver(io);
        beast::get_lowest_layer(ws).connect(resolver.resolve(address->host, address->port));
        ws.handshake(address->host + ":" + address->port, address->target);
        json call = {{"id", 1},
                     {"method", "Runtime.evaluate"},
                     {"params", {{"expression", expression}, {"returnByValue", true}, {"userGesture", true}}}};
        ws.write(asio::buffer(call.dump(-1, ' ', false, json::error_handler_t::replace)));
        // Events are not enabled, so the only message is the answer; anything else is skipped.
        json answer;
        while (!(answer.is_object() && answer.contains("id") && answer["id"] == 1)) {
            beast::flat_buffer buffer;
            ws.read(buffer);
            std::string frame = beast::buffers_to_string(buffer.data());
            // Waiting for a better frame would only run into the time-out.
            if (!jsonDepthWithin(frame)) return DevToolsError{"invalid JSON from Chrome: " + frame.substr(0, 200)};
            answer = json::parse(frame, nullptr, false);
        }
        beast::error_code ignored;
        ws.close(websocket::close_code::normal, ignored);
        return evaluationOf(answer);
    } catch (const std::exception& e) {
        return DevToolsError{std::string("Chrome: ") + e.what()};
    }
}

}  // namespace velmor::browser
