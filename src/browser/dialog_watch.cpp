#include "browser/dialog_watch.h"

#include "base/json_depth.h"
#include "base/json_fields.h"

#include <boost/asio/executor_work_guard.hpp>
#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/post.hpp>
#include <boost/asio/steady_timer.hpp>
#include <boost/beast/core.hpp>
#include <boost/beast/websocket.hpp>
#include <algorithm>
#include <deque>
#include <functional>
#include <future>
#include <map>
#include <mutex>
#include <nlohmann/json.hpp>
#include <thread>
#include <utility>

namespace velmor::browser {

namespace {

namespace asio = boost::asio;
namespace beast = boost::beast;
namespace websocket = beast::websocket;
using tcp = asio::ip::tcp;
using nlohmann::json;

// A page's events are small; a frame larger than this is no DevTools message worth reading.
constexpr size_t kMessageLimit = 4 << 20;
// Switching the Page domain on waits for the page itself, which a page already blocked by a
// dialog or a long script never gives: the call that asked goes on without it.
constexpr std::chrono::milliseconds kEnableLimit{2'000};

class ChromiumDialogWatch;

// One tab's listening connection. Used only on the watch's I/O thread.
class Listener : public std::enable_shared_from_this<Listener> {
public:
    using Answered = std::function<void(Result<json>)>;

    Listener(asio::io_context& io, ChromiumDialogWatch& watch, std::string targetId)
        : ws_(io), watch_(watch), targetId_(std::move(targetId)) {}

    // Connects, switches the Page domain on and calls `ready` with whether that worked.
    void start(const std::string& host, const std::string& port, std::chrono::milliseconds limit,
               std::function<void(bool)> ready);
    void command(const std::string& method, const json& params, Answered answered);
    void close() {
        beast::error_code ignored;
        beast::get_lowest_layer(ws_).socket().shutdown(tcp::socket::shutdown_both, ignored);
        beast::get_lowest_layer(ws_).close();
    }

private:
    void readNext();
    void onMessage(const json& message);
    void writeNext();
    void ended();

    websocket::stream<beast::tcp_stream> ws_;
    ChromiumDialogWatch& watch_;
    std::string targetId_;
    std::unique_ptr<tcp::resolver> resolver_;
    beast::flat_buffer buffer_;
    std::deque<std::string> outbox_;
    bool writing_ = false;
    bool over_ = false;
    int nextId_ = 0;
    std::map<int, Answered> pending_;
};

class ChromiumDialogWatch final : public DialogWatch {
public:
    ChromiumDialogWatch(std::string host, uint16_t port, std::chrono::milliseconds connectLimit)
        : host_(std::move(host)), port_(std::to_string(port)), connectLimit_(connectLimit),
          work_(asio::make_work_guard(io_)), thread_([this] { io_.run(); }) {}

    ~ChromiumDialogWatch() override {
        work_.reset();
        io_.stop();
        thread_.join();
        tabs_.clear();
    }

    void watch(const std::string& targetId) override {
        std::shared_ptr<Listener> listener;
        {
            std::lock_guard lock(mutex_);
            auto found = tabs_.find(targetId);
            if (found != tabs_.end()) {
                found->second.lastUsed = ++clock_;
                return;
            }
            if (tabs_.size() >= kMaxWatchedTabs) evictLeastUsed();
            listener = std::make_shared<Listener>(io_, *this, targetId);
            tabs_[targetId] = Tab{listener, std::nullopt, 0, ++clock_};
        }
        auto ready = std::make_shared<std::promise<bool>>();
        auto heard = ready->get_future();
        asio::post(io_, [this, listener, ready] {
            listener->start(host_, port_, connectLimit_, [ready](bool ok) { ready->set_value(ok); });
        });
        if (heard.wait_for(connectLimit_ + kEnableLimit) == std::future_status::ready && !heard.get())
            forget(targetId, listener.get());
    }

    CallStart beginCall(const std::string& targetId) override {
        watch(targetId);
        std::optional<PageDialog> open;
        {
            std::lock_guard lock(mutex_);
            auto found = tabs_.find(targetId);
            if (found == tabs_.end() || !found->second.listening) return {};
            ++found->second.calls;
            open = found->second.dialog;
        }
        if (!open) return {true, std::nullopt};
        auto answered = answer(targetId, acceptedByDefault(open->type), std::nullopt);
        return {true, answered ? std::optional<PageDialog>(*answered) : std::nullopt};
    }

    std::optional<PageDialog> endCall(const std::string& targetId) override {
        std::lock_guard lock(mutex_);
        auto found = tabs_.find(targetId);
        if (found == tabs_.end()) return std::nullopt;
        if (found->second.calls > 0) --found->second.calls;
        return std::exchange(found->second.answeredInCall, std::nullopt);
    }

    bool pageSilent(const std::string& targetId) const override {
        std::lock_guard lock(mutex_);
        auto found = tabs_.find(targetId);
        return found != tabs_.end() && !found->second.pageAnswered;
    }

    std::optional<PageDialog> openDialog(const std::string& targetId) const override {
        std::lock_guard lock(mutex_);
        auto found = tabs_.find(targetId);
        return found == tabs_.end() ? std::nullopt : found->second.dialog;
    }

    std::vector<std::string> tabsWithDialogs() const override {
        std::lock_guard lock(mutex_);
        std::vector<std::pair<uint64_t, std::string>> open;
        for (const auto& [id, tab] : tabs_)
            if (tab.dialog) open.emplace_back(tab.openedAt, id);
        std::sort(open.rbegin(), open.rend());
        std::vector<std::string> ids;
        for (auto& entry : open) ids.push_back(std::move(entry.second));
        return ids;
    }

    void catchUp() override {
        std::vector<std::shared_ptr<Listener>> listeners;
        {
            std::lock_guard lock(mutex_);
            for (const auto& [id, tab] : tabs_)
                if (tab.listening) listeners.push_back(tab.listener);
        }
        if (listeners.empty()) return;
        // The browser answers this without the page, which a dialog blocks; its answer comes
        // after every event the browser sent the listener before it.
        auto left = std::make_shared<size_t>(listeners.size());
        auto done = std::make_shared<std::promise<void>>();
        auto caughtUp = done->get_future();
        asio::post(io_, [listeners, left, done] {
            for (const auto& listener : listeners)
                listener->command("Page.getNavigationHistory", json::object(), [left, done](Result<json>) {
                    if (--*left == 0) done->set_value();
                });
        });
        caughtUp.wait_for(connectLimit_);
    }
    Result<PageDialog> answer(const std::string& targetId, bool accept,
                              const std::optional<std::string>& promptText) override {
        std::shared_ptr<Listener> listener;
        PageDialog dialog;
        {
            std::lock_guard lock(mutex_);
            auto found = tabs_.find(targetId);
            if (found == tabs_.end() || !found->second.dialog) return fail(kNoDialog);
            listener = found->second.listener;
            dialog = *found->second.dialog;
        }
        json params = {{"accept", accept}};
        if (promptText) params["promptText"] = *promptText;
        auto done = std::make_shared<std::promise<Result<json>>>();
        auto answered = done->get_future();
        asio::post(io_, [listener, params, done] {
            listener->command("Page.handleJavaScriptDialog", params,
                              [done](Result<json> result) { done->set_value(std::move(result)); });
        });
        if (answered.wait_for(connectLimit_) != std::future_status::ready)
            return fail("Chrome: the tab did not take the answer to its dialog");
        // Answered by someone else meanwhile, or the tab is gone: either way no dialog waits.
        closed(targetId, listener.get());
        if (!answered.get()) return fail(kNoDialog);
        return dialog;
    }

    // Called on the I/O thread by the listeners.
    void opened(const std::string& targetId, Listener* listener, PageDialog dialog) {
        std::lock_guard lock(mutex_);
        auto found = tabs_.find(targetId);
        if (found == tabs_.end() || found->second.listener.get() != listener) return;
        Tab& tab = found->second;
        if (tab.calls > 0) {
            listener->command("Page.handleJavaScriptDialog", {{"accept", acceptedByDefault(dialog.type)}},
                              [](Result<json>) {});
            if (!tab.answeredInCall) tab.answeredInCall = std::move(dialog);
            return;
        }
        tab.dialog = std::move(dialog);
        tab.openedAt = ++clock_;
    }
    void listening(const std::string& targetId, const Listener* listener) {
        std::lock_guard lock(mutex_);
        auto found = tabs_.find(targetId);
        if (found != tabs_.end() && found->second.listener.get() == listener) found->second.listening = true;
    }
    void pageAnswered(const std::string& targetId, const Listener* listener) {
        std::lock_guard lock(mutex_);
        auto found = tabs_.find(targetId);
        if (found != tabs_.end() && found->second.listener.get() == listener) found->second.pageAnswered = true;
    }
    void closed(const std::string& targetId, const Listener* listener) {
        std::lock_guard lock(mutex_);
        auto found = tabs_.find(targetId);
        if (found != tabs_.end() && found->second.listener.get() == listener) found->second.dialog.reset();
    }
    void forget(const std::string& targetId, const Listener* listener) {
        std::lock_guard lock(mutex_);
        auto found = tabs_.find(targetId);
        if (found != tabs_.end() && found->second.listener.get() == listener) tabs_.erase(found);
    }

private:
    static constexpr const char* kNoDialog = "no dialog is open in the tab";

    struct Tab {
        std::shared_ptr<Listener> listener;
        std::optional<PageDialog> dialog;  // open, waiting for an answer
        uint64_t openedAt = 0;
        uint64_t lastUsed = 0;
        bool listening = false;  // Page.enable is on its way: dialogs are told from then on
        bool pageAnswered = false;
        int calls = 0;  // Velmor's calls running in the tab
        std::optional<PageDialog> answeredInCall;
    };

    // Under the lock.
    void evictLeastUsed() {
        auto oldest = std::min_element(tabs_.begin(), tabs_.end(), [](const auto& a, const auto& b) {
            return a.second.lastUsed < b.second.lastUsed;
        });
        asio::post(io_, [listener = oldest->second.listener] { listener->close(); });
        tabs_.erase(oldest);
    }

    std::string host_, port_;
    std::chrono::milliseconds connectLimit_;
    asio::io_context io_;
    asio::executor_work_guard<asio::io_context::executor_type> work_;
    mutable std::mutex mutex_;  // guards tabs_ and clock_; the listeners themselves belong to thread_
    std::map<std::string, Tab> tabs_;
    uint64_t clock_ = 0;
    std::thread thread_;
};

void Listener::start(const std::string& host, const std::string& port, std::chrono::milliseconds limit,
                     std::function<void(bool)> ready) {
    auto self = shared_from_this();
    auto fired = std::make_shared<bool>(false);
    auto report = [ready, fired](bool ok) {
        if (*fired) return;
        *fired = true;
        ready(ok);
    };
    resolver_ = std::make_unique<tcp::resolver>(ws_.get_executor());
    beast::get_lowest_layer(ws_).expires_after(limit);
    resolver_->async_resolve(host, port, [this, self, host, port, report](beast::error_code error,
                                                                          tcp::resolver::results_type found) {
        if (error) return report(false);
        beast::get_lowest_layer(ws_).async_connect(found, [this, self, host, port, report](
                                                              beast::error_code error, const tcp::endpoint&) {
            if (error) return report(false);
            ws_.read_message_max(kMessageLimit);
            ws_.async_handshake(host + ":" + port, "/devtools/page/" + targetId_,
                                [this, self, report](beast::error_code error) {
                                    if (error) return report(false);
                                    beast::get_lowest_layer(ws_).expires_never();
                                    readNext();
                                    watch_.listening(targetId_, this);
                                    // Dialogs are heard from the moment the browser has the
                                    // command; its answer waits for the page, which may be busy.
                                    command("Page.enable", json::object(), [this, report](Result<json>) {
                                        watch_.pageAnswered(targetId_, this);
                                        report(true);
                                    });
                                    auto timer = std::make_shared<asio::steady_timer>(ws_.get_executor(), kEnableLimit);
                                    timer->async_wait([timer, report](beast::error_code) { report(true); });
                                });
        });
    });
}

void Listener::command(const std::string& method, const json& params, Answered answered) {
    if (over_) return answered(fail("Chrome: the tab is gone"));
    int id = ++nextId_;
    pending_[id] = std::move(answered);
    outbox_.push_back(json{{"id", id}, {"method", method}, {"params", params}}.dump(
        -1, ' ', false, json::error_handler_t::replace));
    if (!writing_) writeNext();
}

void Listener::writeNext() {
    if (outbox_.empty() || over_) {
        writing_ = false;
        return;
    }
    writing_ = true;
    ws_.async_write(asio::buffer(outbox_.front()), [this, self = shared_from_this()](beast::error_code error, size_t) {
        outbox_.pop_front();
        if (error) return ended();
        writeNext();
    });
}

void Listener::readNext() {
    ws_.async_read(buffer_, [this, self = shared_from_this()](beast::error_code error, size_t) {
        if (error) return ended();
        json message = parseBoundedJson(beast::buffers_to_string(buffer_.data()));
        buffer_.consume(buffer_.size());
        if (message.is_object()) onMessage(message);
        readNext();
    });
}

void Listener::onMessage(const json& message) {
    std::string method = stringFieldOr(message, "method");
    if (method == "Page.javascriptDialogOpening") {
        const json* params = findField(message, "params");
        if (!params || !params->is_object()) return;
        watch_.opened(targetId_, this, {stringFieldOr(*params, "type"), stringFieldOr(*params, "message")});
        return;
    }
    if (method == "Page.javascriptDialogClosed" || method == "Page.frameNavigated") {
        // A navigation of the main frame takes its dialogs along; one of a subframe leaves them.
        const json* params = findField(message, "params");
        const json* frame = params && method == "Page.frameNavigated" ? findField(*params, "frame") : nullptr;
        if (frame && frame->is_object() && frame->contains("parentId")) return;
        watch_.closed(targetId_, this);
        return;
    }
    if (!method.empty()) return;
    const json* id = findField(message, "id");
    if (!id || !id->is_number_integer()) return;
    auto waiting = pending_.find(id->get<int>());
    if (waiting == pending_.end()) return;
    Answered answered = std::move(waiting->second);
    pending_.erase(waiting);
    if (const json* error = findField(message, "error"); error && error->is_object())
        return answered(fail("Chrome: " + stringFieldOr(*error, "message")));
    const json* result = findField(message, "result");
    answered(result ? *result : json::object());
}

void Listener::ended() {
    if (over_) return;
    over_ = true;
    auto waiting = std::move(pending_);
    for (auto& [id, answered] : waiting) answered(fail("Chrome: the tab is gone"));
    watch_.forget(targetId_, this);
}

}  // namespace

std::unique_ptr<DialogWatch> makeChromiumDialogWatch(std::string host, uint16_t port,
                                                     std::chrono::milliseconds connectLimit) {
    return std::make_unique<ChromiumDialogWatch>(std::move(host), port, connectLimit);
}

}  // namespace velmor::browser
