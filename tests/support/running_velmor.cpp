#include "support/running_velmor.h"

#include "support/eventually.h"
#include "support/free_port.h"
#include "support/temp_home.h"

#include <cstdlib>
#include <filesystem>
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>
#include <unistd.h>

namespace velmor::test {

std::map<std::string, std::string> velmorEnvironment(const std::string& home) {
    std::map<std::string, std::string> environment = {{"XDG_RUNTIME_DIR", home + "/run"}};
    std::filesystem::create_directories(home + "/run");
    std::filesystem::permissions(home + "/run", std::filesystem::perms::owner_all);
    if (const char* runtime = std::getenv("XDG_RUNTIME_DIR"); runtime && !std::getenv("PULSE_SERVER"))
        environment["PULSE_SERVER"] = std::string("unix:") + runtime + "/pulse/native";
    return environment;
}

std::unique_ptr<ChildProcess> startVelmor(const std::string& home, std::vector<std::string> argv) {
    // The setup guide is for people: unless the test set the preferences itself, its velmor
    // starts as one whose user has walked through the guide, so that no window covers the
    // applications under test.
    const std::string defaults = home + "/.config/velmor/defaults.json";
    if (::access(defaults.c_str(), F_OK) != 0) writeFile(defaults, R"({"velmor_onboarding_complete":true})");
    auto velmor = std::make_unique<ChildProcess>(std::move(argv), velmorEnvironment(home));
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
