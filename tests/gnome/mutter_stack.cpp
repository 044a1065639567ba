#include "mutter_stack.h"

#include "support/stack_environment.h"

#include <gtest/gtest.h>


namespace velmor::test {

namespace {

std::string missing = "the GNOME tests' environment was not read";

class MutterStackEnvironment : public ::testing::Environment {
public:
    void SetUp() override {
        missing = takeStackEnvironment("VELMOR_MUTTER_STACK", "GNOME (headless mutter)", "scripts/mutter-stack-up.sh");
    }
};

[[maybe_unused]] ::testing::Environment* const kEnvironment =
    ::testing::AddGlobalTestEnvironment(new MutterStackEnvironment);

}  // namespace

const std::string& mutterStackMissing() { return missing; }

}  // namespace velmor::test
