#pragma once

#include <array>
#include <string_view>

namespace velmor::mcp {

// The MCP revisions this server speaks, oldest first. A client asking for another one is
// offered the latest, which it may accept or turn down by disconnecting.
inline constexpr std::array<std::string_view, 4> kProtocolVersions = {"2024-11-05", "2025-03-26", "2025-06-18",
                                                                      "2025-11-25"};
inline constexpr std::string_view kLatestProtocolVersion = kProtocolVersions.back();

constexpr bool isSupportedProtocolVersion(std::string_view version) {
    for (std::string_view known : kProtocolVersions)
        if (known == version) return true;
    return false;
}

// The revision answered to a client that asks for `requested`.
constexpr std::string_view negotiatedProtocolVersion(std::string_view requested) {
    return isSupportedProtocolVersion(requested) ? requested : kLatestProtocolVersion;
}

}  // namespace velmor::mcp
