#pragma once

#include "base/guarded.h"

#include <cstddef>
#include <deque>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>

namespace velmor::mcp {

// The MCP sessions of the HTTP endpoint: each starts at an initialize and lasts until the
// client ends it, or until so many newer ones have started that it is the oldest beyond
// the bound. An id that is not here (never issued, ended or dropped) tells its client to
// start afresh. Thread-safe: connections on any I/O or worker thread consult it.
class SessionRegistry {
public:
    explicit SessionRegistry(size_t maxSessions = 256);

    // A new session for a client that negotiated `protocolVersion`; answers its id, random
    // and made of visible ASCII as the header requires.
    std::string open(std::string_view protocolVersion);
    bool contains(std::string_view id) const;
    // The revision the session's initialize settled on; nothing for an unknown session.
    std::optional<std::string> protocolVersion(std::string_view id) const;
    // False when the session was not open.
    bool end(std::string_view id);

private:
    struct Sessions {
        std::unordered_map<std::string, std::string> versions;  // by id
        std::deque<std::string> opened;                          // ids, oldest first
    };

    const size_t maxSessions_;
    Guarded<Sessions> sessions_;
};

}  // namespace velmor::mcp
