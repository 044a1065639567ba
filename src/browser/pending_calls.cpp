// A synchronous tool call becomes a frame to the page and a wait for the frame that
// answers it.
#include "browser/pending_calls.h"

#include "base/call_context.h"
#include "base/uuid.h"

#include <algorithm>
#include <cctype>
#include <vector>

namespace velmor::browser {

using nlohmann::json;

namespace {

// A prefix and the first 8 characters of a new upper-case UUID: "call_1A2B3C4D".
std::string newCallId(const std::string& prefix) {
    std::string id = randomUuid().substr(0, 8);
    std::transform(id.begin(), id.end(), id.begin(), [](unsigned char c) { return std::toupper(c); });
    return prefix + id;
}

// "120", or "0.25" for a time-out below a second.
std::string seconds(std::chrono::milliseconds duration) {
    std::string text = std::to_string(duration.count() / 1000);
    if (auto fraction = duration.count() % 1000) {
        std::string digits = std::to_string(1000 + fraction).substr(1);
        text += "." + digits.substr(0, digits.find_last_not_of('0') + 1);
    }
    return text;
}

constexpr const char* kSessionClosed = "browser session closed";

}  // namespace

Result<json> PendingCalls::call(const BrowserSession& session, const std::string& name, const json& args,
                                const std::function<bool()>& connected) {
    std::string callId = newCallId("call_");
    auto answered = std::make_shared<std::binary_semaphore>(0);
    calls_.withLocked([&](Calls& calls) { calls[callId] = PendingCall{session.sessionId(), std::nullopt, answered}; });
    // A session that ended after it was found but before the call was registered left
    // nobody to end the call.
    if (!connected()) complete(session.sessionId(), callId, fail(kSessionClosed));

    session.send({{"type", "tool_call"}, {"callId", callId}, {"name", name}, {"args", args}});
    bool signalled = false;
    {
        // A cancelled call stops waiting: its answer, should the page still send one, is
        // dropped like any late answer.
        auto stopWaiting = currentCall().onCancel(
            [this, &session, &callId] { complete(session.sessionId(), callId, fail("the call was cancelled")); });
        signalled = answered->try_acquire_for(timeouts_.toolCall);
    }

    std::optional<Result<json>> result = calls_.withLocked([&](Calls& calls) {
        auto it = calls.find(callId);
        // An answer that slipped in between the time-out and this point is discarded.
        std::optional<Result<json>> taken;
        if (signalled) taken = std::move(it->second.result);
        calls.erase(it);
        return taken;
    });
    if (!signalled) return fail("tool call '" + name + "' timed out after " + seconds(timeouts_.toolCall) + "s");
    return result ? std::move(*result) : fail("no result received");
}

void PendingCalls::complete(const std::string& sessionId, const std::string& callId, Result<json> result) {
    auto answered = calls_.withLocked([&](Calls& calls) -> std::shared_ptr<std::binary_semaphore> {
        auto it = calls.find(callId);
        // First answer wins; repeats, answers after the time-out and answers from any page
        // but the one asked are dropped.
        if (it == calls.end() || it->second.result || it->second.sessionId != sessionId) return nullptr;
        it->second.result = std::move(result);
        return it->second.answered;
    });
    if (answered) answered->release();
}

void PendingCalls::endCallsOf(const std::string& sessionId) {
    auto orphaned = calls_.withLocked([&](Calls& calls) {
        std::vector<std::shared_ptr<std::binary_semaphore>> waiting;
        for (auto& [callId, pending] : calls) {
            if (pending.sessionId != sessionId || pending.result) continue;
            pending.result = fail(kSessionClosed);
            waiting.push_back(pending.answered);
        }
        return waiting;
    });
    for (auto& answered : orphaned) answered->release();
}

void PendingCalls::handleToolResult(const std::string& sessionId, const std::string& callId, const json& content) {
    std::string text;
    bool first = true;
    for (const auto& item : content) {
        auto found = item.find("text");
        if (found == item.end() || !found->is_string()) continue;
        if (!first) text += '\n';
        text += found->get_ref<const std::string&>();
        first = false;
    }
    complete(sessionId, callId, json{{"text", std::move(text)}, {"content", content}});
}

void PendingCalls::handleToolError(const std::string& sessionId, const std::string& callId, const std::string& error) {
    complete(sessionId, callId, fail(error));
}

}  // namespace velmor::browser
