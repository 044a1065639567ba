#include "browser/devtools_client.h"

#include "base/call_context.h"
#include "base/json_depth.h"
#include "base/json_fields.h"

#include <algorithm>
#include <cctype>
#include <boost/asio/connect.hpp>
#include <boost/asio/ip/tcp.hpp>
#include <boost/beast/core.hpp>
#include <boost/beast/http.hpp>
#include <boost/beast/websocket.hpp>
#include <deque>
#include <set>
#include <optional>

namespace velmor::browser {

namespace {

namespace asio = boost::asio;
namespace beast = boost::beast;
namespace http = beast::http;
namespace websocket = beast::websocket;
using tcp = asio::ip::tcp;
using Clock = std::chrono::steady_clock;
using nlohmann::json;

// Events nobody waits for are kept only this far back; a page firing events in a loop must
// not fill memory while a long script runs.
constexpr size_t kQueuedEventLimit = 256;
constexpr size_t kKeptDialogLimit = 16;
// How much of an unusable answer an error quotes.
constexpr size_t kEchoedTextLimit = 200;

// A script still running at its deadline is told to stop; its own answer then follows within
// this time.
constexpr std::chrono::milliseconds kInterruptLimit{2'000};

// Runs the I/O context until `done` or the deadline; false at the deadline.
bool runFor(asio::io_context& io, const bool& done, Clock::time_point deadline) {
    io.restart();
    while (!done) {
        if (io.run_one_until(deadline) == 0) break;
    }
    return done;
}

// Closing the socket ends whatever operation is still pending; the connection is then unusable.
void abandon(asio::io_context& io, tcp::socket& socket) {
    beast::error_code ignored;
    socket.shutdown(tcp::socket::shutdown_both, ignored);
    socket.close(ignored);
    io.restart();
    io.run();
}

// Runs the I/O context until `done` or the deadline. At the deadline the socket is closed.
bool runUntil(asio::io_context& io, const bool& done, Clock::time_point deadline, tcp::socket& socket) {
    if (runFor(io, done, deadline)) return true;
    abandon(io, socket);
    return false;
}

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

// Connects `socket` to host:port before the deadline; fails with an empty text when the
// deadline passed or the peer refused, for the caller to phrase.
Result<void> connectBefore(asio::io_context& io, tcp::socket& socket, const std::string& host,
                                           const std::string& port, Clock::time_point deadline) {
    beast::error_code error;
    tcp::resolver resolver(io);
    auto endpoints = resolver.resolve(host, port, error);
    if (error) return fail("Chrome: cannot resolve " + host);
    bool done = false;
    asio::async_connect(socket, endpoints, [&](const beast::error_code& e, const tcp::endpoint&) {
        error = e;
        done = true;
    });
    if (!runUntil(io, done, deadline, socket) || error) return fail("");
    // Commands are small and answered one by one: waiting to coalesce them only adds delay.
    socket.set_option(tcp::no_delay(true), error);
    return succeeded();
}

// A connection to one page over its WebSocket, run on the calling thread. The frames of other
// sites that it attaches to (ChildSession) share it: every command and event carries the
// session id of the target it belongs to, empty for the page itself.
class ChromiumSession final : public DevToolsSession {
public:
    explicit ChromiumSession(const DevToolsLimits& l) : limits(l), ws(io) {}
    ~ChromiumSession() override;

    static Result<std::unique_ptr<DevToolsSession>> open(const std::string& webSocketUrl, const DevToolsLimits& limits);

    bool send(const std::string& method, const json& params) override { return sendOn("", method, params); }
    Result<json> call(const std::string& method, const json& params,
                      std::optional<std::chrono::milliseconds> limit) override {
        return callOn("", method, params, limit);
    }
    bool waitForEvent(const std::function<bool(const std::string&, const json&)>& accept,
                      std::chrono::milliseconds limit) override {
        return waitForEventOn("", accept, limit);
    }
    bool skipToArrivedEvent(const std::function<bool(const std::string&, const json&)>& accept) override {
        return skipToArrivedEventOn("", accept);
    }
    bool usable() const override { return !broken; }
    const std::vector<PageDialog>& dialogs() const override { return dialogs_; }
    void answerDialogs(bool answer) override { answersDialogs = answer; }
    Result<std::vector<AttachedFrame>> attachChildFrames(size_t most,
                                                         std::optional<std::chrono::milliseconds> limit) override {
        return attachChildFramesOf("", most, limit);
    }
    Result<std::unique_ptr<DevToolsSession>> attachFrame(const std::string& targetId,
                                                         std::optional<std::chrono::milliseconds> limit) override;

    bool sendOn(const std::string& sessionId, const std::string& method, const json& params) {
        return command(++nextId, method, params, sessionId);
    }
    Result<json> callOn(const std::string& sessionId, const std::string& method, const json& params,
                        std::optional<std::chrono::milliseconds> limit);
    bool waitForEventOn(const std::string& sessionId,
                        const std::function<bool(const std::string&, const json&)>& accept,
                        std::chrono::milliseconds limit);
    bool skipToArrivedEventOn(const std::string& sessionId,
                              const std::function<bool(const std::string&, const json&)>& accept);
    Result<std::vector<AttachedFrame>> attachChildFramesOf(const std::string& sessionId, size_t most,
                                                           std::optional<std::chrono::milliseconds> limit);

private:
    bool run(const bool& done, Clock::time_point deadline) { return runUntil(io, done, deadline, ws.next_layer()); }

    bool write(const std::string& text) {
        if (broken) return false;
        // One frame in one write: a buffer smaller than the message makes the masking code
        // send it in pieces.
        ws.write_buffer_bytes(std::max<size_t>(4096, text.size() + 16));
        bool done = false;
        beast::error_code error;
        ws.async_write(asio::buffer(text), [&](const beast::error_code& e, size_t) {
            error = e;
            done = true;
        });
        if (!run(done, Clock::now() + limits.write) || error) broken = true;
        return !broken;
    }

    bool command(int id, const std::string& method, const json& params, const std::string& sessionId) {
        json message = {{"id", id}, {"method", method}, {"params", params}};
        if (!sessionId.empty()) message["sessionId"] = sessionId;
        return write(message.dump(-1, ' ', false, json::error_handler_t::replace));
    }

    // One message, or nothing when the connection failed or the deadline passed. A page
    // script that is still running at the deadline would keep the tab from answering anyone
    // after us; with `interrupt` it is stopped first, over this connection, the only one the
    // busy page still serves (in the session of the target that runs it).
    std::optional<json> read(Clock::time_point deadline, bool& timedOut, bool interrupt,
                             const std::string& sessionId = "") {
        if (broken) return std::nullopt;
        beast::flat_buffer buffer;
        bool done = false;
        beast::error_code error;
        ws.async_read(buffer, [&](const beast::error_code& e, size_t) {
            error = e;
            done = true;
        });
        bool arrived = false;
        {
            // A cancelled call waits no longer for the page: as at the deadline, a script of
            // ours still running there is stopped.
            io.restart();
            auto stopWaiting = currentCall().onCancel([this] { io.stop(); });
            while (!done && io.run_one_until(deadline) != 0) {
            }
            arrived = done;
        }
        if (!arrived) {
            timedOut = true;
            broken = true;
            if (interrupt) {
                json stop = {{"id", ++nextId}, {"method", "Runtime.terminateExecution"}, {"params", json::object()}};
                if (!sessionId.empty()) stop["sessionId"] = sessionId;
                std::string text = stop.dump();
                bool written = false;
                ws.async_write(asio::buffer(text), [&](const beast::error_code&, size_t) { written = true; });
                // The stopped script's own answer is the sign that the page is free again.
                auto until = Clock::now() + kInterruptLimit;
                if (runFor(io, written, until)) runFor(io, done, until);
            }
            abandon(io, ws.next_layer());
            return std::nullopt;
        }
        if (error) {
            broken = true;
            return std::nullopt;
        }
        std::string frame = beast::buffers_to_string(buffer.data());
        json message = parseBoundedJson(frame);
        if (message.is_discarded()) unreadable = frame.substr(0, kEchoedTextLimit);
        return message;
    }

    // A dialog blocks the page until someone answers it; every event is kept for
    // waitForEvent. A frame that went away takes its session along: a command still waiting
    // there is never answered.
    void onEvent(json message) {
        std::string method = stringFieldOr(message, "method");
        if (method == "Page.javascriptDialogOpening") {
            const json& params = message["params"];
            std::string type = stringFieldOr(params, "type");
            if (dialogs_.size() < kKeptDialogLimit) dialogs_.push_back({type, stringFieldOr(params, "message")});
            if (answersDialogs)
                command(++nextId, "Page.handleJavaScriptDialog", {{"accept", acceptedByDefault(type)}},
                        stringFieldOr(message, "sessionId"));
        } else if (method == "Target.detachedFromTarget") {
            if (detached.size() < kQueuedEventLimit) detached.insert(stringFieldOr(message["params"], "sessionId"));
        }
        events.push_back(std::move(message));
        if (events.size() > kQueuedEventLimit) events.pop_front();
    }

    static bool ofSession(const json& event, const std::string& sessionId) {
        return stringFieldOr(event, "sessionId") == sessionId;
    }

    DevToolsLimits limits;
    asio::io_context io;
    websocket::stream<tcp::socket> ws;
    int nextId = 0;
    bool broken = false;
    bool answersDialogs = true;
    std::deque<json> events;
    std::vector<PageDialog> dialogs_;
    std::set<std::string> detached;  // sessions of frames that went away
    // The start of the last frame that was no usable JSON, for the error that reports it.
    std::string unreadable;
};


// A frame of another site, spoken to over its page's connection, on the thread that uses it.
class ChildSession final : public DevToolsSession {
public:
    ChildSession(ChromiumSession& page, std::string sessionId) : page_(page), sessionId_(std::move(sessionId)) {}

    bool send(const std::string& method, const json& params) override {
        return page_.sendOn(sessionId_, method, params);
    }
    Result<json> call(const std::string& method, const json& params,
                      std::optional<std::chrono::milliseconds> limit) override {
        return page_.callOn(sessionId_, method, params, limit);
    }
    bool waitForEvent(const std::function<bool(const std::string&, const json&)>& accept,
                      std::chrono::milliseconds limit) override {
        return page_.waitForEventOn(sessionId_, accept, limit);
    }
    bool skipToArrivedEvent(const std::function<bool(const std::string&, const json&)>& accept) override {
        return page_.skipToArrivedEventOn(sessionId_, accept);
    }
    bool usable() const override { return page_.usable(); }
    const std::vector<PageDialog>& dialogs() const override { return page_.dialogs(); }
    void answerDialogs(bool answer) override { page_.answerDialogs(answer); }
    Result<std::vector<AttachedFrame>> attachChildFrames(size_t most,
                                                         std::optional<std::chrono::milliseconds> limit) override {
        return page_.attachChildFramesOf(sessionId_, most, limit);
    }
    Result<std::unique_ptr<DevToolsSession>> attachFrame(const std::string& targetId,
                                                         std::optional<std::chrono::milliseconds> limit) override {
        return page_.attachFrame(targetId, limit);
    }

private:
    ChromiumSession& page_;
    std::string sessionId_;
};

ChromiumSession::~ChromiumSession() {
    if (broken) return;
    // A polite close costs a round trip the caller does not need; the browser copes with a
    // plain disconnect.
    beast::error_code ignored;
    ws.next_layer().shutdown(tcp::socket::shutdown_both, ignored);
    ws.next_layer().close(ignored);
}

Result<std::unique_ptr<DevToolsSession>> ChromiumSession::open(const std::string& webSocketUrl,
                                                               const DevToolsLimits& limits) {
    auto address = splitWebSocketUrl(webSocketUrl);
    // A tab without a debugger URL is already attached to another DevTools client.
    if (!address) return fail("Chrome: the tab is already being debugged by another client");
    auto session = std::make_unique<ChromiumSession>(limits);
    auto deadline = Clock::now() + limits.connect;
    std::string failure = "Chrome: cannot connect to the tab within " + secondsText(limits.connect);
    if (auto connected = connectBefore(session->io, session->ws.next_layer(), address->host, address->port, deadline);
        !connected)
        return fail(connected.error().empty() ? failure : connected.error());
    session->ws.auto_fragment(false);
    bool done = false;
    beast::error_code error;
    session->ws.async_handshake(address->host + ":" + address->port, address->target,
                                [&](const beast::error_code& e) {
                                    error = e;
                                    done = true;
                                });
    if (!session->run(done, deadline) || error) return fail(failure);
    return std::unique_ptr<DevToolsSession>(std::move(session));
}

Result<json> ChromiumSession::callOn(const std::string& sessionId, const std::string& method, const json& params,
                                     std::optional<std::chrono::milliseconds> limit) {
    if (!sessionId.empty() && detached.contains(sessionId)) return fail(kFrameGoneError);
    int id = ++nextId;
    if (!command(id, method, params, sessionId))
        return fail("Chrome: could not send to the tab within " + secondsText(limits.write));
    auto answerLimit = limit.value_or(limits.answer);
    auto deadline = Clock::now() + answerLimit;
    while (true) {
        bool timedOut = false;
        auto message = read(deadline, timedOut, true, sessionId);
        if (!message) {
            return fail(timedOut ? "Chrome: the page did not answer within " + secondsText(answerLimit)
                                 : "Chrome: the connection to the tab was lost");
        }
        // Unparsable or too deeply nested: waiting for a better frame would only run into the
        // deadline.
        if (message->is_discarded()) return fail("invalid JSON from Chrome: " + unreadable);
        if (!message->is_object()) continue;
        if (message->contains("method")) {
            onEvent(std::move(*message));
            if (!sessionId.empty() && detached.contains(sessionId)) return fail(kFrameGoneError);
            continue;
        }
        auto answerId = message->find("id");
        if (answerId == message->end() || *answerId != id) continue;
        if (auto error = message->find("error"); error != message->end()) {
            std::string text = stringFieldOr(*error, "message");
            // A frame's session ends with the frame; the browser then no longer knows it.
            if (!sessionId.empty() && text.starts_with("Session with given id not found")) return fail(kFrameGoneError);
            return fail("Chrome: " + (text.empty() ? std::string("protocol error") : text));
        }
        auto result = message->find("result");
        if (result != message->end() && result->is_object()) return std::move(*result);
        return json::object();
    }
}

bool ChromiumSession::waitForEventOn(const std::string& sessionId,
                                     const std::function<bool(const std::string&, const json&)>& accept,
                                     std::chrono::milliseconds limit) {
    auto matches = [&](const json& event) {
        if (!ofSession(event, sessionId)) return false;
        auto params = event.find("params");
        return accept(stringFieldOr(event, "method"), params != event.end() ? *params : json::object());
    };
    if (auto hit = std::find_if(events.begin(), events.end(), matches); hit != events.end()) {
        events.erase(events.begin(), hit + 1);
        return true;
    }
    events.clear();
    auto deadline = Clock::now() + limit;
    while (true) {
        bool timedOut = false;
        auto message = read(deadline, timedOut, false);
        if (!message) return false;
        if (!message->is_object() || !message->contains("method")) continue;
        bool hit = matches(*message);
        onEvent(std::move(*message));
        if (hit) {
            events.clear();
            return true;
        }
    }
}

bool ChromiumSession::skipToArrivedEventOn(const std::string& sessionId,
                                           const std::function<bool(const std::string&, const json&)>& accept) {
    auto hit = std::find_if(events.begin(), events.end(), [&](const json& event) {
        if (!ofSession(event, sessionId)) return false;
        auto params = event.find("params");
        return accept(stringFieldOr(event, "method"), params != event.end() ? *params : json::object());
    });
    if (hit == events.end()) return false;
    events.erase(events.begin(), hit);
    return true;
}

Result<std::vector<DevToolsSession::AttachedFrame>> ChromiumSession::attachChildFramesOf(
    const std::string& sessionId, size_t most, std::optional<std::chrono::milliseconds> limit) {
    // The browser attaches to the frames already there before it answers, so their
    // attachedToTarget events have all arrived once the answer has.
    auto attached = callOn(sessionId, "Target.setAutoAttach",
                           {{"autoAttach", true}, {"waitForDebuggerOnStart", false}, {"flatten", true}}, limit);
    if (!attached) return fail(attached.error());
    std::vector<AttachedFrame> frames;
    for (auto event = events.begin(); event != events.end();) {
        const json* params = findField(*event, "params");
        const json* target = params ? findField(*params, "targetInfo") : nullptr;
        bool child = ofSession(*event, sessionId) && stringFieldOr(*event, "method") == "Target.attachedToTarget" &&
                     target && target->is_object();
        if (!child) {
            ++event;
            continue;
        }
        std::string childSession = stringFieldOr(*params, "sessionId");
        if (stringFieldOr(*target, "type") == "iframe" && !childSession.empty() && frames.size() < most)
            frames.push_back({stringFieldOr(*target, "targetId"), stringFieldOr(*target, "url"),
                              std::make_unique<ChildSession>(*this, childSession)});
        event = events.erase(event);
    }
    return frames;
}

Result<std::unique_ptr<DevToolsSession>> ChromiumSession::attachFrame(const std::string& targetId,
                                                                      std::optional<std::chrono::milliseconds> limit) {
    auto attached = callOn("", "Target.attachToTarget", {{"targetId", targetId}, {"flatten", true}}, limit);
    if (!attached) {
        // The browser knows no target of that id: the frame has been taken out of the page.
        if (attached.error().find("No target with given id") != std::string::npos) return fail(kFrameGoneError);
        return fail(attached.error());
    }
    std::string childSession = stringFieldOr(*attached, "sessionId");
    if (childSession.empty()) return fail(kFrameGoneError);
    return std::unique_ptr<DevToolsSession>(std::make_unique<ChildSession>(*this, childSession));
}

}  // namespace

std::string secondsText(std::chrono::milliseconds limit) {
    auto whole = limit.count() / 1000;
    auto tenths = (limit.count() % 1000) / 100;
    return std::to_string(whole) + (tenths ? "." + std::to_string(tenths) : "") + " s";
}

ChromiumDevTools::ChromiumDevTools(std::string host, uint16_t port, DevToolsLimits limits)
    : host_(std::move(host)), port_(port), limits_(limits) {}

std::string ChromiumDevTools::unreachable() const {
    return "Chrome: cannot reach the DevTools endpoint at " + host_ + ":" + std::to_string(port_) +
           " \xE2\x80\x94 start Chromium or Chrome with --remote-debugging-port=" + std::to_string(port_);
}

Result<std::vector<DevToolsPage>> ChromiumDevTools::listPages() const {
    asio::io_context io;
    tcp::socket socket(io);
    auto connectDeadline = Clock::now() + limits_.connect;
    if (!connectBefore(io, socket, host_, std::to_string(port_), connectDeadline)) return fail(unreachable());

    http::request<http::empty_body> request{http::verb::get, "/json/list", 11};
    request.set(http::field::host, host_ + ":" + std::to_string(port_));
    bool done = false;
    beast::error_code error;
    http::async_write(socket, request, [&](const beast::error_code& e, size_t) {
        error = e;
        done = true;
    });
    if (!runUntil(io, done, Clock::now() + limits_.write, socket) || error) return fail(unreachable());

    beast::flat_buffer buffer;
    http::response<http::string_body> response;
    done = false;
    http::async_read(socket, buffer, response, [&](const beast::error_code& e, size_t) {
        error = e;
        done = true;
    });
    if (!runUntil(io, done, Clock::now() + limits_.answer, socket))
        return fail("Chrome: the DevTools endpoint did not answer within " + secondsText(limits_.answer));
    if (error) return fail(unreachable());
    beast::error_code ignored;
    socket.shutdown(tcp::socket::shutdown_both, ignored);
    if (response.result() != http::status::ok)
        return fail("Chrome: the DevTools endpoint answered HTTP " + std::to_string(response.result_int()));

    json targets = parseBoundedJson(response.body());
    if (!targets.is_array()) return fail("Chrome: unreadable tab list from the DevTools endpoint");
    std::vector<DevToolsPage> pages;
    for (const auto& target : targets) {
        // Omnibox popups and other browser UI are listed too; only pages run page scripts.
        if (!target.is_object() || stringFieldOr(target, "type") != "page") continue;
        pages.push_back({stringFieldOr(target, "id"), stringFieldOr(target, "url"), stringFieldOr(target, "title"),
                         stringFieldOr(target, "webSocketDebuggerUrl")});
    }
    return pages;
}

DialogWatch* ChromiumDevTools::dialogWatch() const {
    std::call_once(watchStarted_, [this] { dialogWatch_ = makeChromiumDialogWatch(host_, port_, limits_.connect); });
    return dialogWatch_.get();
}

Result<std::unique_ptr<DevToolsSession>> ChromiumDevTools::connect(const DevToolsPage& page) const {
    return ChromiumSession::open(page.webSocketDebuggerUrl, limits_);
}

Result<std::unique_ptr<DevToolsSession>> ChromiumDevTools::connect(const std::string& targetId) const {
    // The id goes into a URL; browsers use hexadecimal ids, anything else is not ours.
    bool plain = !targetId.empty() && std::all_of(targetId.begin(), targetId.end(), [](unsigned char c) {
        return std::isalnum(c) || c == '-';
    });
    if (!plain) return fail("Chrome: unusable tab id");
    return ChromiumSession::open(
        "ws://" + host_ + ":" + std::to_string(port_) + "/devtools/page/" + targetId, limits_);
}

}  // namespace velmor::browser
