#include "bridge/bridge_config.h"

#include <fstream>
#include <limits>
#include <nlohmann/json.hpp>
#include <optional>
#include <sstream>

#include "base/header_value.h"

namespace velmor::bridge {

namespace {

std::optional<std::int64_t> integerField(const nlohmann::json& object, const char* key) {
    auto field = object.find(key);
    if (field == object.end() || !field->is_number_integer()) return std::nullopt;
    if (field->is_number_unsigned()) {
        // Clamped rather than wrapped, so a huge value stays out of range instead of
        // turning into a small, plausible port.
        auto value = field->get<std::uint64_t>();
        constexpr auto largest = static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max());
        return static_cast<std::int64_t>(value > largest ? largest : value);
    }
    return field->get<std::int64_t>();
}

}  // namespace

BridgeConfig loadBridgeConfig(const std::string& configPath) {
    BridgeConfig config;
    std::ifstream file(configPath, std::ios::binary);
    if (!file) return config;
    std::stringstream text;
    text << file.rdbuf();
    auto json = nlohmann::json::parse(text.str(), nullptr, false);
    if (!json.is_object()) return config;

    // The token goes into the Authorization header; one that could not is treated as
    // absent, and the application refuses the requests instead of receiving extra headers.
    if (auto token = json.find(config_keys::kToken); token != json.end() && token->is_string() &&
                                                      checkHeaderValue(token->get_ref<const std::string&>()))
        config.token = token->get<std::string>();
    if (auto port = integerField(json, config_keys::kPort)) config.port = *port;
    // The WebSocket port has to fit a TCP port; anything else is treated as not configured.
    if (auto wsPort = integerField(json, config_keys::kWsPort); wsPort && *wsPort >= 0 && *wsPort <= 65535)
        config.wsPort = static_cast<std::uint16_t>(*wsPort);
    return config;
}

}  // namespace velmor::bridge
