#include "base/client_entry.h"

#include <nlohmann/json.hpp>

namespace velmor {

std::string clientEntry(const std::string& bridgeCommand) {
    // Serialised by the JSON library, so a path with quotation marks, backslashes or bytes
    // that are not UTF-8 in it still gives a document that parses; ordered so that "type"
    // reads before "command".
    nlohmann::ordered_json server;
    server["type"] = "stdio";
    server["command"] = bridgeCommand;
    nlohmann::ordered_json document;
    document["mcpServers"]["velmor"] = server;
    return document.dump(2, ' ', false, nlohmann::ordered_json::error_handler_t::replace);
}

}  // namespace velmor
