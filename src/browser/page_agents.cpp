#include "browser/page_agents.h"

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
    return !name.empty() && name.size() <= PageAgents::kMaxToolNameLength &&
           std::all_of(name.begin(), name.end(), [](unsigned char c) {
               return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_' ||
                      c == '-';
           });
}

// Why the page may not register the tool, if it may not.
std::optional<std::string> refusal(const std::string& origin, const std::map<std::string, BrowserTool>& tools,
                                   const std::string& name, const std::string& description,
                                   const json& inputSchema, bool taken) {
    if (origin.empty()) return "the session is not an injected page";
    if (!wellFormedToolName(name)) return "malformed name";
    if (description.size() > PageAgents::kMaxDescriptionLength) return "description longer than 1024 characters";
    if (dictToJson(inputSchema).size() > PageAgents::kMaxSchemaBytes) return "input schema larger than 16 KiB";
    if (!cleanSchemaNames(inputSchema)) return "input schema names with hidden or control characters";
    if (taken) return "the name belongs to another tool";
    if (!tools.contains(name) && tools.size() >= PageAgents::kMaxToolsPerPage) return "more than 200 tools";
    return std::nullopt;
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

void PageAgents::setOnToolsChanged(std::function<void()> callback) {
    onToolsChanged_.withLocked([&](std::function<void()>& current) { current = std::move(callback); });
}

void PageAgents::setTakenNames(const TakenToolNames& names) {
    state_.withLocked([&](State& state) { state.takenNames = &names; });
}

std::shared_ptr<BrowserSession> PageAgents::add(std::shared_ptr<PageConnection> connection) {
    auto session = std::make_shared<BrowserSession>(randomUuid(), std::move(connection));
    state_.withLocked([&](State& state) { state.sessions[session->sessionId()].session = session; });
    Log::info("browser", "Session created: " + session->sessionId());
    session->send({{"type", "session_id"}, {"sessionId", session->sessionId()}});
    return session;
}

std::shared_ptr<BrowserSession> PageAgents::remove(const std::string& sessionId) {
    bool hadTools = false;
    auto removed = state_.withLocked([&](State& state) -> std::shared_ptr<BrowserSession> {
        auto it = state.sessions.find(sessionId);
        if (it == state.sessions.end()) return nullptr;
        hadTools = !it->second.tools.empty();
        // The page may connect again with its nonce.
        if (auto nonce = state.nonces.find(it->second.nonce); nonce != state.nonces.end())
            nonce->second.liveSessionId.clear();
        auto session = std::move(it->second.session);
        state.sessions.erase(it);
        state.listing.reset();
        return session;
    });
    if (hadTools) toolsChanged();
    return removed;
}

std::shared_ptr<BrowserSession> PageAgents::session(const std::string& sessionId) const {
    return state_.withLocked([&](const State& state) -> std::shared_ptr<BrowserSession> {
        auto it = state.sessions.find(sessionId);
        return it == state.sessions.end() ? nullptr : it->second.session;
    });
}

std::optional<PageAgents::SessionState> PageAgents::sessionState(const std::string& sessionId) const {
    return state_.withLocked([&](const State& state) -> std::optional<SessionState> {
        auto it = state.sessions.find(sessionId);
        if (it == state.sessions.end()) return std::nullopt;
        const SessionRecord& record = it->second;
        SessionState copy{.pageUrl = record.pageUrl,
                          .pageTitle = record.pageTitle,
                          .isReady = record.isReady,
                          .origin = record.origin};
        for (const auto& [name, tool] : record.tools) copy.tools.push_back(tool);
        return copy;
    });
}

std::string PageAgents::issuePageNonce(const std::string& origin) {
    std::string nonce = randomHex128();
    state_.withLocked([&](State& state) {
        state.nonces[nonce] = NonceRecord{origin, {}};
        state.nonceOrder.push_back(nonce);
        while (state.nonceOrder.size() > kRememberedNonces) {
            // A page still connected keeps its session; only a later reconnection is refused.
            state.nonces.erase(state.nonceOrder.front());
            state.nonceOrder.pop_front();
        }
    });
    return nonce;
}

std::optional<std::string> PageAgents::authenticatePage(const std::string& sessionId, const std::string& nonce,
                                                        const std::string& handshakeOrigin) {
    return state_.withLocked([&](State& state) -> std::optional<std::string> {
        auto session = state.sessions.find(sessionId);
        if (session == state.sessions.end()) return "no such session";
        if (!session->second.nonce.empty()) return "already authenticated";
        auto issued = state.nonces.find(nonce);
        if (issued == state.nonces.end()) return "unknown nonce";
        if (issued->second.origin != handshakeOrigin)
            return "origin '" + handshakeOrigin + "' is not the injected page's '" + issued->second.origin + "'";
        if (!issued->second.liveSessionId.empty()) return "the page is already connected";
        size_t pages = std::count_if(state.sessions.begin(), state.sessions.end(),
                                     [](const auto& entry) { return !entry.second.nonce.empty(); });
        if (pages >= kMaxPageSessions) return "too many page sessions";
        issued->second.liveSessionId = sessionId;
        session->second.nonce = nonce;
        session->second.origin = issued->second.origin;
        return std::nullopt;
    });
}

bool PageAgents::isTaken(const std::string& name) const {
    const TakenToolNames* names = state_.withLocked([](const State& state) { return state.takenNames; });
    return names && names->isTaken(name);
}

bool PageAgents::registerTool(const std::string& sessionId, const std::string& name, const std::string& description,
                              json inputSchema) {
    bool taken = isTaken(name);
    bool known = true;
    std::optional<std::string> refused = state_.withLocked([&](State& state) -> std::optional<std::string> {
        auto it = state.sessions.find(sessionId);
        if (it == state.sessions.end()) {
            known = false;
            return std::nullopt;
        }
        SessionRecord& record = it->second;
        auto why = refusal(record.origin, record.tools, name, description, inputSchema, taken);
        if (why) return why;
        // The descriptions are the page's text: the agent reads them clean, as every other.
        cleanSchemaTexts(inputSchema);
        record.tools.insert_or_assign(
            name, BrowserTool{name, outside_text::description(description), std::move(inputSchema), sessionId});
        record.listing.reset();
        state.listing.reset();
        return std::nullopt;
    });
    if (!known) return false;
    if (!refused) return true;
    // Only the start of a hostile name goes into the log.
    Log::info("browser", "Tool refused (" + sessionId + "): '" + name.substr(0, kMaxToolNameLength) + "': " + *refused);
    return false;
}

void PageAgents::unregisterTool(const std::string& sessionId, const std::string& name) {
    state_.withLocked([&](State& state) {
        auto it = state.sessions.find(sessionId);
        if (it == state.sessions.end() || it->second.tools.erase(name) == 0) return;
        it->second.listing.reset();
        state.listing.reset();
    });
}

void PageAgents::markReady(const std::string& sessionId) {
    state_.withLocked([&](State& state) {
        if (auto it = state.sessions.find(sessionId); it != state.sessions.end() && !it->second.isReady) {
            it->second.isReady = true;
            state.listing.reset();
        }
    });
    toolsChanged();
}

void PageAgents::updatePageInfo(const std::string& sessionId, const std::string& url, const std::string& title) {
    state_.withLocked([&](State& state) {
        auto it = state.sessions.find(sessionId);
        if (it == state.sessions.end()) return;
        it->second.pageUrl = url;
        it->second.pageTitle = title;
    });
}

bool PageAgents::hasTool(const std::string& name) const { return offering(name) != nullptr; }

std::shared_ptr<BrowserSession> PageAgents::offering(const std::string& name) const {
    if (isTaken(name)) return nullptr;
    return state_.withLocked([&](const State& state) -> std::shared_ptr<BrowserSession> {
        auto it = std::find_if(state.sessions.begin(), state.sessions.end(),
                               [&](const auto& entry) { return entry.second.tools.contains(name); });
        return it == state.sessions.end() ? nullptr : it->second.session;
    });
}

const json& PageAgents::SessionRecord::listed() const {
    if (!listing) {
        // The agent sees where a tool comes from before it decides to call it.
        std::string from = "[page " + origin + "] ";
        listing = json::array();
        for (const auto& [name, tool] : tools)
            listing->push_back(tool_schema::describeDeferred(tool.name, from + tool.description, tool.inputSchema));
    }
    return *listing;
}

json PageAgents::allBrowserTools() const {
    const TakenToolNames* names = nullptr;
    json listing = state_.withLocked([&](const State& state) {
        if (!state.listing) {
            json& list = state.listing.emplace(json::array());
            std::unordered_set<std::string> listed;
            for (const auto& [sessionId, record] : state.sessions) {
                if (!record.isReady) continue;
                for (const auto& entry : record.listed()) {
                    if (listed.insert(entry["name"].get_ref<const std::string&>()).second) list.push_back(entry);
                }
            }
        }
        names = state.takenNames;
        return *state.listing;
    });
    // A web or element tool that came after a page tool of its name takes its place. Such
    // clashes are rare, so the listing is only rebuilt when there is one.
    auto taken = [names](const json& entry) { return names->isTaken(entry["name"].get_ref<const std::string&>()); };
    if (!names || std::none_of(listing.begin(), listing.end(), taken)) return listing;
    json list = json::array();
    for (auto& entry : listing)
        if (!taken(entry)) list.push_back(std::move(entry));
    return list;
}

void PageAgents::toolsChanged() const {
    auto callback = onToolsChanged_.withLocked([](const std::function<void()>& current) { return current; });
    if (callback) callback();
}

}  // namespace velmor::browser
