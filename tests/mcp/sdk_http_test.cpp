// The real velmor on its fixed port, inside a private network namespace, met over
// Streamable HTTP by the official MCP SDK client and by plain HTTP clients
// (streamable_http_client.mjs, which names what it found wrong).
#include "support/child_process.h"
#include "support/private_network.h"
#include "support/running_velmor.h"
#include "support/temp_home.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

namespace velmor {
namespace {

const auto* const kPrivateNetwork = ::testing::AddGlobalTestEnvironment(new test::PrivateNetworkEnvironment);

TEST(StreamableHttp, TheOfficialSdkClientAndPlainClientsGetWhatTheTransportPromises) {
    if (!test::PrivateNetworkEnvironment::error.empty())
        GTEST_SKIP() << "no private network namespace: " << test::PrivateNetworkEnvironment::error;
    test::TempHome home;
    auto velmor = test::startVelmor(home.path());
    auto config = nlohmann::json::parse(test::readFile(home.path() + "/.velmor/config.json"));

    test::ChildProcess client({"node", MCP_TEST_SCRIPTS "/streamable_http_client.mjs"},
                              {{"MCP_SDK_MODULES", MCP_SDK_MODULES},
                               {"VELMOR_URL", "http://127.0.0.1:19820/mcp"},
                               {"VELMOR_TOKEN", config["token"].get<std::string>()},
                               {"SHORTCUT_FOLDER", home.path() + "/.local/share/velmor/shortcuts"}});
    client.closeStdin();
    int status = client.wait(120000);
    std::string said;
    for (std::string line; client.readLine(line, 1000);) said += line + "\n";
    EXPECT_EQ(status, 0) << said << client.drainStderr();
    EXPECT_EQ(said, "all checks passed\n");
}

}  // namespace
}  // namespace velmor
