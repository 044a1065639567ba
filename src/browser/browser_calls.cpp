// Calls into page sessions: a synchronous tool call becomes a frame to
// the page and a wait for the frame that answers it.
#include "browser/browser_session_manager.h"

#include "base/call_context.h"
#include "base/uuid.h"

#include <algorithm>
#include <cctype>

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

}  // namespace

Result<json> BrowserSessionManager::callBrowserTool(const std::string& name, const json& args) {
    std::string callId = newCallId("call_");
    std::shared_ptr<BrowserSession> session;
    std::shared_ptr<std::binary_semaphore> answered;
    bool taken = isTaken(name);
    {
        // Finding the session and registering the wait in one step: a session that goes
        // away after this always finds the call and ends it.
        std::lock_guard lock(mutex_);
        auto it = std::find_if(sessions_.begin(), sessions_.end(),
                               [&](const auto& entry) { return entry.second.tools.contains(name); });
        if (it == sessions_.end() || taken)
            return fail("tool '" + name + "' not found in any browser session");
        session = it->second.session;
        answered = addPendingLocked(callId, session->sessionId());
    }
    json request = {{"type", "tool_call"}, {"callId", callId}, {"name", name}, {"args", args}};
    Answer answer = awaitAnswer(*session, callId, *answered, request, timeouts_.toolCall);
    if (answer.timedOut)
        return fail("tool call '" + name + "' timed out after " + seconds(timeouts_.toolCall) + "s");
    return answer.result ? std::move(*answer.result) : fail("no result received");
}

std::shared_ptr<std::binary_semaphore> BrowserSessionManager::addPendingLocked(const std::string& callId,
                                                                               const std::string& sessionId) {
    auto answered = std::make_shared<std::binary_semaphore>(0);
    pendingCalls_[callId] = PendingCall{sessionId, std::nullopt, answered};
    return answered;
}

BrowserSessionManager::Answer BrowserSessionManager::awaitAnswer(const BrowserSession& session,
                                                                 const std::string& callId,
                                                                 std::binary_semaphore& answered, const json& request,
                                                                 std::chrono::milliseconds timeout) {
    session.send(request);
    bool signalled = false;
    {
        // A cancelled call stops waiting: its answer, should the page still send one, is
        // dropped like any late answer.
        auto stopWaiting = currentCall().onCancel(
            [this, &session, &callId] { complete(session.sessionId(), callId, fail("the call was cancelled")); });
        signalled = answered.try_acquire_for(timeout);
    }

    Answer answer;
    std::lock_guard lock(mutex_);
    auto it = pendingCalls_.find(callId);
    // An answer that slipped in between the time-out and this point is discarded.
    if (signalled) answer.result = std::move(it->second.result);
    answer.timedOut = !signalled;
    pendingCalls_.erase(it);
    return answer;
}

void BrowserSessionManager::complete(const std::string& sessionId, const std::string& callId, Result<json> result) {
    std::shared_ptr<std::binary_semaphore> answered;
    {
        std::lock_guard lock(mutex_);
        auto it = pendingCalls_.find(callId);
        // First answer wins; repeats, answers after the time-out and answers from any page
        // but the one asked are dropped.
        if (it == pendingCalls_.end() || it->second.result || it->second.sessionId != sessionId) return;
        it->second.result = std::move(result);
        answered = it->second.answered;
    }
    answered->release();
}

void BrowserSessionManager::handleToolResult(const std::string& sessionId, const std::string& callId,
                                             const json& content) {
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

void BrowserSessionManager::handleToolError(const std::string& sessionId, const std::string& callId,
                                            const std::string& error) {
    complete(sessionId, callId, fail(error));
}

}  // namespace velmor::browser
