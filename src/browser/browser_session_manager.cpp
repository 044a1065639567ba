#include "browser/browser_session_manager.h"

#include "base/constant_time.h"
#include "base/json_text.h"
#include "base/log.h"
#include "base/outside_text.h"
#include "base/tool_description.h"
#include "base/uuid.h"

#include <algorithm>
#include <openssl/rand.h>
#include <unordered_set>

namespace velmor::browser {

using nlohmann::json;

namespace {

// A tools/list entry.
json toolDescription(const std::string& name, const std::string& description, const json& inputSchema) {
    json described = tool_schema::describe(name, description, inputSchema);
    described["defer_loading"] = true;
    return described;
}

// Whether every name in the page's schema (property names, keys) reads as it is.
bool cleanSchemaNames(const json& schema) {
    if (schema.is_array())
        return std::all_of(schema.begin(), schema.end(), [](const json& item) { return cleanSchemaNames(item); });
    if (!schema.is_object()) return true;
    for (const auto& [key, value] : schema.items()) {
        if (!outside_text::isClean(key) || !cleanSchemaNames(value)) return false;
    }
    return true;
}

// The page's schema with its descriptions and titles as the agent may read them.
void cleanSchemaTexts(json& schema) {
    if (schema.is_array()) {
        for (auto& item : schema) cleanSchemaTexts(item);
        return;
    }
    if (!schema.is_object()) return;
    for (auto& [key, value] : schema.items()) {
        if (key == "description" && value.is_string()) value = outside_text::description(value.get<std::string>());
        else if (key == "title" && value.is_string()) value = outside_text::title(value.get<std::string>());
        else cleanSchemaTexts(value);
    }
}

// Names that read well in a tool list and in a log line: letters, digits, "_" and "-".
bool wellFormedToolName(const std::string& name) {
    return !name.empty() && name.size() <= BrowserSessionManager::kMaxToolNameLength &&
           std::all_of(name.begin(), name.end(), [](unsigned char c) {
               return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_' ||
                      c == '-';
           });
}

// No secret set means no subscription is accepted.
bool sameSecret(const std::string& given, const std::string& expected) {
    return !expected.empty() && equalInConstantTime(given, expected);
}

std::string randomHex128() {
    unsigned char bytes[16];
    if (RAND_bytes(bytes, sizeof bytes) != 1) std::abort();  // no randomness, no secrets
    static constexpr char kDigits[] = "0123456789abcdef";
    std::string text;
    for (unsigned char byte : bytes) {
        text += kDigits[byte >> 4];
        text += kDigits[byte & 15];
    }
    return text;
}

}  // namespace

BrowserSessionManager::BrowserSessionManager() : BrowserSessionManager(Timeouts{}) {}

BrowserSessionManager::BrowserSessionManager(Timeouts timeouts)
    : timeouts_(timeouts),
      toolsChangedPush_(kToolsChangedInterval, [this] { pushToolsChanged(); }) {}

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
            // The page may connect again with its nonce.
            if (auto nonce = nonces_.find(it->second.nonce); nonce != nonces_.end())
                nonce->second.liveSessionId.clear();
            sessions_.erase(it);
            listing_.reset();
        }
        // Nobody is left to answer these; their callers should not wait out the time-out.
        for (auto& [callId, pending] : pendingCalls_) {
            if (pending.sessionId != sessionId || pending.result) continue;
            pending.result = fail("browser session closed");
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
    SessionState state{
        .pageUrl = record.pageUrl, .pageTitle = record.pageTitle, .isReady = record.isReady, .origin = record.origin};
    for (const auto& [name, tool] : record.tools) state.tools.push_back(tool);
    return state;
}

std::string BrowserSessionManager::issuePageNonce(const std::string& origin) {
    std::string nonce = randomHex128();
    std::lock_guard lock(mutex_);
    nonces_[nonce] = NonceRecord{origin, {}};
    nonceOrder_.push_back(nonce);
    while (nonceOrder_.size() > kRememberedNonces) {
        // A page still connected keeps its session; only a later reconnection is refused.
        nonces_.erase(nonceOrder_.front());
        nonceOrder_.pop_front();
    }
    return nonce;
}

std::optional<std::string> BrowserSessionManager::authenticatePage(const std::string& sessionId,
                                                                   const std::string& nonce,
                                                                   const std::string& handshakeOrigin) {
    std::lock_guard lock(mutex_);
    auto session = sessions_.find(sessionId);
    if (session == sessions_.end()) return "no such session";
    if (!session->second.nonce.empty()) return "already authenticated";
    auto issued = nonces_.find(nonce);
    if (issued == nonces_.end()) return "unknown nonce";
    if (issued->second.origin != handshakeOrigin)
        return "origin '" + handshakeOrigin + "' is not the injected page's '" + issued->second.origin + "'";
    if (!issued->second.liveSessionId.empty()) return "the page is already connected";
    size_t pages = std::count_if(sessions_.begin(), sessions_.end(),
                                 [](const auto& entry) { return !entry.second.nonce.empty(); });
    if (pages >= kMaxPageSessions) return "too many page sessions";
    issued->second.liveSessionId = sessionId;
    session->second.nonce = nonce;
    session->second.origin = issued->second.origin;
    return std::nullopt;
}

void BrowserSessionManager::setSubscriptionToken(std::string token) {
    std::lock_guard lock(mutex_);
    subscriptionToken_ = std::move(token);
}

void BrowserSessionManager::setTakenNames(const TakenToolNames& names) {
    std::lock_guard lock(mutex_);
    takenNames_ = &names;
}

bool BrowserSessionManager::isTaken(const std::string& name) const {
    const TakenToolNames* names;
    {
        std::lock_guard lock(mutex_);
        names = takenNames_;
    }
    return names && names->isTaken(name);
}

std::optional<std::string> BrowserSessionManager::refusalLocked(const SessionRecord& record, const std::string& name,
                                                                const std::string& description,
                                                                const json& inputSchema, bool taken) const {
    if (record.origin.empty()) return "the session is not an injected page";
    if (!wellFormedToolName(name)) return "malformed name";
    if (description.size() > kMaxDescriptionLength) return "description longer than 1024 characters";
    if (dictToJson(inputSchema).size() > kMaxSchemaBytes) return "input schema larger than 16 KiB";
    if (!cleanSchemaNames(inputSchema)) return "input schema names with hidden or control characters";
    if (taken) return "the name belongs to another tool";
    if (!record.tools.contains(name) && record.tools.size() >= kMaxToolsPerPage) return "more than 200 tools";
    return std::nullopt;
}

bool BrowserSessionManager::registerTool(const std::string& sessionId, const std::string& name,
                                         const std::string& description, json inputSchema) {
    std::optional<std::string> refusal;
    bool taken = isTaken(name);
    {
        std::lock_guard lock(mutex_);
        auto it = sessions_.find(sessionId);
        if (it == sessions_.end()) return false;
        refusal = refusalLocked(it->second, name, description, inputSchema, taken);
        if (!refusal) {
            // The descriptions are the page's text: the agent reads them clean, as every other.
            cleanSchemaTexts(inputSchema);
            it->second.tools.insert_or_assign(
                name, BrowserTool{name, outside_text::description(description), std::move(inputSchema), sessionId});
            it->second.listing.reset();
            listing_.reset();
            return true;
        }
    }
    // Only the start of a hostile name goes into the log.
    Log::info("browser", "Tool refused (" + sessionId + "): '" + name.substr(0, kMaxToolNameLength) + "': " + *refusal);
    return false;
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
    if (isTaken(name)) return false;
    std::lock_guard lock(mutex_);
    return std::any_of(sessions_.begin(), sessions_.end(),
                       [&](const auto& entry) { return entry.second.tools.contains(name); });
}

const json& BrowserSessionManager::SessionRecord::listed() const {
    if (!listing) {
        // The agent sees where a tool comes from before it decides to call it.
        std::string from = "[page " + origin + "] ";
        listing = json::array();
        for (const auto& [name, tool] : tools)
            listing->push_back(toolDescription(tool.name, from + tool.description, tool.inputSchema));
    }
    return *listing;
}

json BrowserSessionManager::allBrowserTools() const {
    json listing;
    const TakenToolNames* names;
    {
        std::lock_guard lock(mutex_);
        if (!listing_) {
            json& list = listing_.emplace(json::array());
            std::unordered_set<std::string> listed;
            for (const auto& [sessionId, record] : sessions_) {
                if (!record.isReady) continue;
                for (const auto& entry : record.listed()) {
                    if (listed.insert(entry["name"].get_ref<const std::string&>()).second) list.push_back(entry);
                }
            }
        }
        listing = *listing_;
        names = takenNames_;
    }
    // A web or element tool that came after a page tool of its name takes its place. Such
    // clashes are rare, so the listing is only rebuilt when there is one.
    auto taken = [names](const json& entry) { return names->isTaken(entry["name"].get_ref<const std::string&>()); };
    if (!names || std::none_of(listing.begin(), listing.end(), taken)) return listing;
    json list = json::array();
    for (auto& entry : listing)
        if (!taken(entry)) list.push_back(std::move(entry));
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

bool BrowserSessionManager::subscribeToolChanges(const std::string& sessionId, const std::string& token) {
    size_t total;
    {
        std::lock_guard lock(mutex_);
        auto it = sessions_.find(sessionId);
        if (it == sessions_.end() || !sameSecret(token, subscriptionToken_)) return false;
        const auto& connection = it->second.session->connection();
        // One subscription per connection: a repeat changes nothing.
        if (std::any_of(subscribers_.begin(), subscribers_.end(),
                        [&](const auto& subscriber) { return subscriber == connection; }))
            return true;
        subscribers_.push_back(connection);
        total = subscribers_.size();
    }
    Log::info("browser", "Tool change subscriber added (total: " + std::to_string(total) + ")");
    return true;
}

void BrowserSessionManager::removeSubscriber(const PageConnection* connection) {
    std::lock_guard lock(mutex_);
    std::erase_if(subscribers_, [connection](const auto& subscriber) { return subscriber.get() == connection; });
}

void BrowserSessionManager::notifyToolChangeSubscribers() { toolsChangedPush_.fire(); }

void BrowserSessionManager::pushToolsChanged() {
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
