#include "wayland_stack.h"

#include "support/child_process.h"
#include "support/stack_environment.h"

#include <gtest/gtest.h>

#include <cstdlib>

namespace velmor::test {

namespace {

std::string missing = "the Wayland tests' environment was not read";

class WaylandStackEnvironment : public ::testing::Environment {
public:
    void SetUp() override {
        missing = takeStackEnvironment("VELMOR_WAYLAND_STACK", "Wayland", "scripts/wayland-stack-up.sh");
        if (!missing.empty()) return;
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
