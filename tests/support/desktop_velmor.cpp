#include "support/desktop_velmor.h"

#include "support/private_network.h"
#include "support/running_velmor.h"

#include <cstdio>
#include <cstdlib>

namespace velmor::test {

namespace {

const auto* const kPrivateNetwork = ::testing::AddGlobalTestEnvironment(new PrivateNetworkEnvironment);

}  // namespace

void DesktopVelmorTest::SetUp() {
    const char* display = std::getenv("DISPLAY");
    ASSERT_TRUE(display && *display) << "desktop tests need the virtual desktop (scripts/desktop-stack-up.sh)";
    if (!PrivateNetworkEnvironment::error.empty())
        GTEST_SKIP() << "no private network namespace: " << PrivateNetworkEnvironment::error;
    velmor = startVelmor(home.path());
    std::string diagnostics;
    bridge = startSubscribedBridge(diagnostics);
    ASSERT_FALSE(HasFailure());
}

}  // namespace velmor::test
