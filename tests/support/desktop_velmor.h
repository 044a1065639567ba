#pragma once

#include "support/child_process.h"
#include "support/temp_home.h"

#include <gtest/gtest.h>
#include <memory>
#include <string>

namespace velmor::test {

// What velmor-bridge writes when the tools changed.
constexpr const char* kListChanged = R"({"jsonrpc":"2.0","method":"notifications/tools/list_changed"})";

// The real velmor in the test's HOME on the virtual desktop, and a velmor-bridge subscribed
// to its tool changes, inside a private network namespace (entered before the first test
// of a binary that uses this fixture); skipped where the system allows none.
class DesktopVelmorTest : public ::testing::Test {
protected:
    void SetUp() override;

    TempHome home;
    std::unique_ptr<ChildProcess> velmor, bridge;
};


}  // namespace velmor::test
