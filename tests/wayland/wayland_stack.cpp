#include "wayland_stack.h"

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

}  // namespace velmor::test
