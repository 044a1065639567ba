#include "app/shell/client_config.h"

#include <filesystem>
#include <nlohmann/json.hpp>

namespace velmor::shell {

namespace {

// A path with a quotation mark or backslash in it still makes valid JSON.
std::string quoted(const std::string& text) { return nlohmann::json(text).dump(); }

}  // namespace

std::string programDirectory() {
    std::error_code error;
    auto self = std::filesystem::read_symlink("/proc/self/exe", error);
    return error ? std::string(".") : self.parent_path().string();
}

std::string bridgePath() { return programDirectory() + "/velmor-bridge"; }

std::string serverListEntry(const std::string& bridge) {
    return "\"velmor\": {\n    \"type\": \"stdio\",\n    \"command\": " + quoted(bridge) + "\n}";
}

std::string clientConfigDocument(const std::string& bridge) {
    return "{\n  \"velmor\": {\n    \"type\": \"stdio\",\n    \"command\": " + quoted(bridge) + "\n  }\n}";
}

std::string clientConfigDisplayed(const std::string& bridge) {
    return "{\n  \"velmor\": {\n    \"type\": \"stdio\",\n    \"command\":\n      " + quoted(bridge) + "\n  }\n}";
}

}  // namespace velmor::shell
