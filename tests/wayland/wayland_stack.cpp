#include "wayland_stack.h"

#include "support/child_process.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>

namespace velmor::test {

namespace {

std::string missing = "the Wayland tests' environment was not read";

class WaylandStackEnvironment : public ::testing::Environment {
public:
    void SetUp() override {
        const char* stack = std::getenv("VELMOR_WAYLAND_STACK");
        if (!stack || !*stack) {
            missing = "Wayland tests need the Wayland desktop: run scripts/wayland-stack-up.sh <dir> and set "
                      "VELMOR_WAYLAND_STACK=<dir>";
            return;
        }
        std::ifstream file(std::string(stack) + "/environment");
        if (!file) {
            missing = std::string("no Wayland desktop runs in ") + stack;
            return;
        }
        for (std::string line; std::getline(file, line);) {
            auto equals = line.find('=');
            if (equals != std::string::npos) setenv(line.substr(0, equals).c_str(), line.substr(equals + 1).c_str(), 1);
        }
#ifdef VELMOR_WAYLAND_ON_WESTON
        // The compositor beside sway, which offers none of the wlroots protocols.
        const char* weston = std::getenv("VELMOR_WESTON_DISPLAY");
        if (!weston) {
            missing = "the Wayland desktop has no weston";
            return;
        }
        setenv("WAYLAND_DISPLAY", weston, 1);
        unsetenv("SWAYSOCK");
#elif defined(VELMOR_WAYLAND_WITHOUT_SWAY_IPC)
        // sway, for Velmor a compositor like any other wlroots one; the tests still ask it.
        if (const char* socket = std::getenv("SWAYSOCK")) setenv("VELMOR_TEST_SWAYSOCK", socket, 1);
        unsetenv("SWAYSOCK");
#endif
        // The X11 desktop's variables would otherwise lead applications started here to it.
        unsetenv("DISPLAY");
        unsetenv("AT_SPI_BUS_ADDRESS");
        missing.clear();
    }
};

[[maybe_unused]] ::testing::Environment* const kEnvironment =
    ::testing::AddGlobalTestEnvironment(new WaylandStackEnvironment);

}  // namespace

const std::string& waylandStackMissing() { return missing; }

nlohmann::json swaymsg(const std::string& arguments) {
    const char* socket = std::getenv("SWAYSOCK");
    if (!socket) socket = std::getenv("VELMOR_TEST_SWAYSOCK");
    const std::string command = std::string("swaymsg -s '") + (socket ? socket : "") + "' -r " + arguments;
    return nlohmann::json::parse(commandOutput(command), nullptr, false);
}

nlohmann::json swayWindow(const std::function<bool(const nlohmann::json&)>& wanted) {
    using nlohmann::json;
    std::function<json(const json&)> find = [&](const json& node) -> json {
        if (!node.is_object()) return nullptr;
        if (node.value("pid", 0) > 0 && wanted(node)) return node;
        for (const char* key : {"nodes", "floating_nodes"})
            for (const auto& child : node.value(key, json::array()))
                if (json found = find(child); !found.is_null()) return found;
        return nullptr;
    };
    return find(swaymsg("-t get_tree"));
}

int32_t focusedPidBySway() {
    nlohmann::json focused = swayWindow([](const nlohmann::json& node) { return node.value("focused", false); });
    return focused.is_null() ? 0 : focused.value("pid", 0);
}

}  // namespace velmor::test
