#include "support/running_velmor.h"

#include "support/eventually.h"
#include "support/free_port.h"
#include "support/temp_home.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>
#include <unistd.h>

namespace velmor::test {

std::unique_ptr<ChildProcess> startVelmor(const std::string& home, std::vector<std::string> argv) {
    // The setup guide is for people: unless the test set the preferences itself, its velmor
    // starts as one whose user has walked through the guide, so that no window covers the
    // applications under test.
    const std::string defaults = home + "/.config/velmor/defaults.json";
    if (::access(defaults.c_str(), F_OK) != 0) writeFile(defaults, R"({"velmor_onboarding_complete":true})");
    auto velmor = std::make_unique<ChildProcess>(std::move(argv));
    EXPECT_TRUE(eventually([&] {
        int fd = connectLoopback(19820);
        if (fd < 0) return false;
        ::close(fd);
        auto published = nlohmann::json::parse(readFile(home + "/.velmor/config.json"), nullptr, false);
        return published.is_object() && published.value("port", 0) == 19820 && published.contains("token");
    })) << "velmor did not come up";
    return velmor;
}

std::unique_ptr<ChildProcess> startSubscribedBridge(std::string& diagnostics) {
    auto bridge = std::make_unique<ChildProcess>(std::vector<std::string>{VELMOR_BRIDGE_BINARY});
    EXPECT_TRUE(eventually([&] {
        diagnostics += bridge->drainStderr();
        return diagnostics.find("Subscribed to tool changes") != std::string::npos;
    })) << diagnostics;
    return bridge;
}

}  // namespace velmor::test
