#include "browser/browser_session_manager.h"

#include "app/bearer_token.h"
#include "app/log.h"

#include <algorithm>
#include <array>
#include <string_view>
#include <unordered_set>

namespace velmor::browser {

using nlohmann::json;

namespace {

// Names the application answers itself; a page offering them must not shadow them.
constexpr std::array<std::string_view, 3> kReservedToolNames = {"get_page_info", "session_start", "session_end"};

bool isReserved(std::string_view name) {
    return std::find(kReservedToolNames.begin(), kReservedToolNames.end(), name) != kReservedToolNames.end();
}

// A tools/list entry.
json toolDescription(const std::string& name, const std::string& description, const json& inputSchema) {
    return {{"name", name}, {"description", description}, {"inputSchema", inputSchema}, {"defer_loading", true}};
}

}  // namespace

BrowserSessionManager::BrowserSessionManager() : BrowserSessionManager(Timeouts{}) {}

BrowserSessionManager::BrowserSessionManager(Timeouts timeouts) : timeouts_(timeouts) {}

BrowserSessionManager& BrowserSessionManager::shared() {
    static BrowserSessionManager* manager = new BrowserSessionManager();
    return *manager;
}

std::shared_ptr<BrowserSession> BrowserSessionManager::createSession(std::shared_ptr<PageConnection> connection) {
    auto session = std::make_shared<BrowserSession>(randomUuid(), std::move(connection));
    {
        std::lock_guard lock(mutex_);
        sessions_[session->sessionId()].session = session;
    }
    Log::info("browser", "Session created: " + session->sessionId());
    session->send({{"type", "session_id"}, {"sessionId", session->sessionId()}});
    return session;
}

void BrowserSessionManager::removeSession(const std::string& sessionId) {
    bool hadTools = false;
    std::vector<std::shared_ptr<std::binary_semaphore>> orphaned;
    {
        std::lock_guard lock(mutex_);
        if (auto it = sessions_.find(sessionId); it != sessions_.end()) {
            hadTools = !it->second.tools.empty();
            sessions_.erase(it);
            listing_.reset();
        }
        // Nobody is left to answer these; their callers should not wait out the time-out.
        for (auto& [callId, pending] : pendingCalls_) {
            if (pending.sessionId != sessionId || pending.result) continue;
            pending.result = json{{"error", "browser session closed"}};
            orphaned.push_back(pending.answered);
        }
    }
    for (auto& answered : orphaned) answered->release();
    Log::info("browser", "Session removed: " + sessionId);
    if (hadTools) toolsChanged();
}

std::shared_ptr<BrowserSession> BrowserSessionManager::getSession(const std::string& sessionId) const {
    std::lock_guard lock(mutex_);
    auto it = sessions_.find(sessionId);
    return it == sessions_.end() ? nullptr : it->second.session;
}

std::optional<BrowserSessionManager::SessionState> BrowserSessionManager::sessionState(
    const std::string& sessionId) const {
    std::lock_guard lock(mutex_);
    auto it = sessions_.find(sessionId);
    if (it == sessions_.end()) return std::nullopt;
    const SessionRecord& record = it->second;
    SessionState state{.pageUrl = record.pageUrl, .pageTitle = record.pageTitle, .isReady = record.isReady};
    for (const auto& [name, tool] : record.tools) state.tools.push_back(tool);
    return state;
}

void BrowserSessionManager::registerTool(const std::string& sessionId, const std::string& name,
                                         const std::string& description, json inputSchema) {
    BrowserTool tool{name, description, std::move(inputSchema), sessionId};
    std::lock_guard lock(mutex_);
    auto it = sessions_.find(sessionId);
    if (it == sessions_.end()) return;
    it->second.tools.insert_or_assign(name, std::move(tool));
    it->second.listing.reset();
    listing_.reset();
}

void BrowserSessionManager::unregisterTool(const std::string& sessionId, const std::string& name) {
    std::lock_guard lock(mutex_);
    auto it = sessions_.find(sessionId);
    if (it == sessions_.end() || it->second.tools.erase(name) == 0) return;
    it->second.listing.reset();
    listing_.reset();
}

void BrowserSessionManager::markReady(const std::string& sessionId) {
    {
        std::lock_guard lock(mutex_);
        if (auto it = sessions_.find(sessionId); it != sessions_.end() && !it->second.isReady) {
            it->second.isReady = true;
            listing_.reset();
        }
    }
    toolsChanged();
}

void BrowserSessionManager::updatePageInfo(const std::string& sessionId, const std::string& url,
                                           const std::string& title) {
    std::lock_guard lock(mutex_);
    auto it = sessions_.find(sessionId);
    if (it == sessions_.end()) return;
    it->second.pageUrl = url;
    it->second.pageTitle = title;
}

bool BrowserSessionManager::hasTool(const std::string& name) const {
    std::lock_guard lock(mutex_);
    return std::any_of(sessions_.begin(), sessions_.end(),
                       [&](const auto& entry) { return entry.second.tools.contains(name); });
}

const json& BrowserSessionManager::SessionRecord::listed() const {
    if (!listing) {
        listing = json::array();
        for (const auto& [name, tool] : tools)
            if (!isReserved(name)) listing->push_back(toolDescription(tool.name, tool.description, tool.inputSchema));
    }
    return *listing;
}

json BrowserSessionManager::allBrowserTools() const {
    std::lock_guard lock(mutex_);
    if (listing_) return *listing_;
    json& list = listing_.emplace(json::array());
    std::unordered_set<std::string_view> seen;
    for (const auto& [sessionId, record] : sessions_) {
        if (!record.isReady) continue;
        for (const auto& entry : record.listed()) {
            if (seen.insert(entry["name"].get_ref<const std::string&>()).second) list.push_back(entry);
        }
    }
    return list;
}

void BrowserSessionManager::registerWebTool(WebTool tool) {
    std::lock_guard lock(mutex_);
    std::string name = tool.name;
    webTools_.insert_or_assign(std::move(name), std::move(tool));
}

std::optional<WebTool> BrowserSessionManager::getWebTool(const std::string& name) const {
    std::lock_guard lock(mutex_);
    auto it = webTools_.find(name);
    return it == webTools_.end() ? std::nullopt : std::optional(it->second);
}

void BrowserSessionManager::clearWebTools() {
    std::lock_guard lock(mutex_);
    webTools_.clear();
}

bool BrowserSessionManager::replaceWebTools(std::vector<WebTool> tools) {
    std::map<std::string, WebTool> replacement;
    for (auto& tool : tools) {
        std::string name = tool.name;
        replacement.insert_or_assign(std::move(name), std::move(tool));
    }
    auto listedAlike = [](const auto& a, const auto& b) {
        return a.first == b.first && a.second.description == b.second.description &&
               a.second.inputSchema == b.second.inputSchema;
    };
    std::lock_guard lock(mutex_);
    bool changed = !std::equal(webTools_.begin(), webTools_.end(), replacement.begin(), replacement.end(), listedAlike);
    webTools_ = std::move(replacement);
    return changed;
}

json BrowserSessionManager::allWebTools() const {
    json list = json::array();
    std::lock_guard lock(mutex_);
    for (const auto& [name, tool] : webTools_) {
        list.push_back(toolDescription(tool.name, tool.description, tool.inputSchema));
    }
    return list;
}

void BrowserSessionManager::setOnToolsChanged(std::function<void()> callback) {
    std::lock_guard lock(mutex_);
    onToolsChanged_ = std::move(callback);
}

void BrowserSessionManager::subscribeToolChanges(std::shared_ptr<PageConnection> connection) {
    size_t total;
    {
        std::lock_guard lock(mutex_);
        subscribers_.push_back(std::move(connection));
        total = subscribers_.size();
    }
    Log::info("browser", "Tool change subscriber added (total: " + std::to_string(total) + ")");
}

void BrowserSessionManager::removeSubscriber(const PageConnection* connection) {
    std::lock_guard lock(mutex_);
    std::erase_if(subscribers_, [connection](const auto& subscriber) { return subscriber.get() == connection; });
}

void BrowserSessionManager::notifyToolChangeSubscribers() {
    std::vector<std::shared_ptr<PageConnection>> subscribers;
    {
        std::lock_guard lock(mutex_);
        subscribers = subscribers_;
    }
    if (subscribers.empty()) return;
    static const std::string kToolsChanged = R"({"type":"tools_changed"})";
    for (const auto& subscriber : subscribers) subscriber->send(kToolsChanged);
    Log::info("browser", "Notified " + std::to_string(subscribers.size()) + " tool change subscribers");
}

void BrowserSessionManager::toolsChanged() {
    std::function<void()> callback;
    {
        std::lock_guard lock(mutex_);
        callback = onToolsChanged_;
    }
    if (callback) callback();
}

}  // namespace velmor::browser
