#include "mcp/session_registry.h"

#include "base/uuid.h"

#include <algorithm>

namespace velmor::mcp {

SessionRegistry::SessionRegistry(size_t maxSessions) : maxSessions_(std::max<size_t>(maxSessions, 1)) {}

std::string SessionRegistry::open(std::string_view protocolVersion) {
    std::string id = randomUuid();
    sessions_.withLocked([&](Sessions& sessions) {
        while (sessions.versions.size() >= maxSessions_ && !sessions.opened.empty()) {
            sessions.versions.erase(sessions.opened.front());
            sessions.opened.pop_front();
        }
        sessions.versions.emplace(id, std::string(protocolVersion));
        sessions.opened.push_back(id);
    });
    return id;
}

bool SessionRegistry::contains(std::string_view id) const {
    return sessions_.withLocked([&](const Sessions& sessions) { return sessions.versions.contains(std::string(id)); });
}

std::optional<std::string> SessionRegistry::protocolVersion(std::string_view id) const {
    return sessions_.withLocked([&](const Sessions& sessions) -> std::optional<std::string> {
        auto found = sessions.versions.find(std::string(id));
        if (found == sessions.versions.end()) return std::nullopt;
        return found->second;
    });
}

bool SessionRegistry::end(std::string_view id) {
    return sessions_.withLocked([&](Sessions& sessions) {
        if (sessions.versions.erase(std::string(id)) == 0) return false;
        sessions.opened.erase(std::find(sessions.opened.begin(), sessions.opened.end(), id));
        return true;
    });
}

}  // namespace velmor::mcp
