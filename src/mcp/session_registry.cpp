#include "mcp/session_registry.h"

#include "base/uuid.h"

#include <algorithm>

namespace velmor::mcp {

SessionRegistry::SessionRegistry(size_t maxSessions) : maxSessions_(std::max<size_t>(maxSessions, 1)) {}

std::string SessionRegistry::open(std::string_view protocolVersion) {
    std::string id = randomUuid();
    std::lock_guard lock(mutex_);
    while (versions_.size() >= maxSessions_ && !opened_.empty()) {
        versions_.erase(opened_.front());
        opened_.pop_front();
    }
    versions_.emplace(id, std::string(protocolVersion));
    opened_.push_back(id);
    return id;
}

bool SessionRegistry::contains(std::string_view id) const {
    std::lock_guard lock(mutex_);
    return versions_.contains(std::string(id));
}

std::optional<std::string> SessionRegistry::protocolVersion(std::string_view id) const {
    std::lock_guard lock(mutex_);
    auto found = versions_.find(std::string(id));
    if (found == versions_.end()) return std::nullopt;
    return found->second;
}

bool SessionRegistry::end(std::string_view id) {
    std::lock_guard lock(mutex_);
    if (versions_.erase(std::string(id)) == 0) return false;
    opened_.erase(std::find(opened_.begin(), opened_.end(), id));
    return true;
}

}  // namespace velmor::mcp
