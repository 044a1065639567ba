#include "mutter_stack.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>

namespace velmor::test {

namespace {

std::string missing = "the GNOME tests' environment was not read";

class MutterStackEnvironment : public ::testing::Environment {
public:
    void SetUp() override {
        const char* stack = std::getenv("VELMOR_MUTTER_STACK");
        if (!stack || !*stack) {
            missing = "GNOME tests need the headless mutter desktop: run scripts/mutter-stack-up.sh <dir> and set "
                      "VELMOR_MUTTER_STACK=<dir>";
            return;
        }
        std::ifstream file(std::string(stack) + "/environment");
        if (!file) {
            missing = std::string("no mutter desktop runs in ") + stack;
            return;
        }
        for (std::string line; std::getline(file, line);) {
            auto equals = line.find('=');
            if (equals != std::string::npos) setenv(line.substr(0, equals).c_str(), line.substr(equals + 1).c_str(), 1);
        }
        // The other desktops' variables would otherwise lead applications started here to them.
        unsetenv("DISPLAY");
        unsetenv("SWAYSOCK");
        unsetenv("AT_SPI_BUS_ADDRESS");
        missing.clear();
    }
};

[[maybe_unused]] ::testing::Environment* const kEnvironment =
    ::testing::AddGlobalTestEnvironment(new MutterStackEnvironment);

}  // namespace

const std::string& mutterStackMissing() { return missing; }

}  // namespace velmor::test
