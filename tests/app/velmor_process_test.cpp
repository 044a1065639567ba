// The real velmor and velmor-bridge executables, on Velmor's fixed ports, inside a private
// network namespace so that a Velmor the user runs is never met.
#include "base/paths.h"
#include "browser/page_client.h"
#include "support/child_process.h"
#include "support/free_port.h"
#include "support/private_network.h"
#include "support/running_velmor.h"
#include "support/temp_home.h"

#include <chrono>
#include <csignal>
#include <filesystem>
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>
#include <optional>
#include <regex>
#include <atomic>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/resource.h>
#include <netinet/in.h>
#include <sys/stat.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

namespace velmor {
namespace {

using nlohmann::json;
using namespace std::chrono_literals;

const auto* const kPrivateNetwork = ::testing::AddGlobalTestEnvironment(new test::PrivateNetworkEnvironment);

class VelmorProcess : public ::testing::Test {
protected:
    void SetUp() override {
        if (!test::PrivateNetworkEnvironment::error.empty())
            GTEST_SKIP() << "no private network namespace: " << test::PrivateNetworkEnvironment::error;
    }

    std::string configPath() const { return home.path() + "/.velmor/config.json"; }
    std::string defaultsPath() const { return home.path() + "/.config/velmor/defaults.json"; }

    std::unique_ptr<test::ChildProcess> launchVelmor(std::vector<std::string> argv = {VELMOR_BINARY}) {
        return test::startVelmor(home.path(), std::move(argv));
    }

    json config() const { return json::parse(test::readFile(configPath())); }

    // The bridge's answer to one request line; null when none came.
    static json ask(test::ChildProcess& bridge, const json& request) {
        bridge.writeStdin(request.dump() + "\n");
        std::string answer;
        EXPECT_TRUE(bridge.readLine(answer)) << "no answer to " << request;
        return answer.empty() ? json() : json::parse(answer);
    }

    test::TempHome home;
};

// Later launches reuse the token stored in the configuration and keep the keys of other
// writers; a configuration that is not JSON is replaced by the three keys velmor publishes,
// with a new token since the old one was lost with it.
TEST_F(VelmorProcess, LaunchesPublishTheTokenAndPortsPrivatelyKeepOtherKeysAndExitCleanlyOnSignals) {
    auto first = launchVelmor();
    json published = config();
    EXPECT_TRUE(std::regex_match(published["token"].get<std::string>(), std::regex("[0-9a-f]{32}")));
    EXPECT_EQ(published["port"], 19820);
    EXPECT_EQ(published["wsPort"], 19822);
    EXPECT_FALSE(json::parse(test::readFile(defaultsPath())).contains("velmor_bearer_token")) << "stored once";
    EXPECT_EQ(test::fileMode(configPath()), 0600u);
    EXPECT_EQ(test::fileMode(home.path() + "/.velmor"), 0700u);
    first->signal(SIGTERM);
    ASSERT_EQ(first->wait(5000), 0);

    json written = {{"token", published["token"]}, {"tts_provider", "deepgram"}, {"deepgram_api_key", "dg-key"}, {"port", 1}};
    test::writeFile(configPath(), written.dump());
    auto later = launchVelmor();
    written.update({{"port", 19820}, {"wsPort", 19822}});
    EXPECT_EQ(config(), written);
    later->signal(SIGINT);
    EXPECT_EQ(later->wait(5000), 0);

    test::writeFile(configPath(), "{ this is not json");
    auto renewed = launchVelmor();
    json replaced = config();
    EXPECT_TRUE(std::regex_match(replaced["token"].get<std::string>(), std::regex("[0-9a-f]{32}")));
    EXPECT_EQ(replaced, json({{"token", replaced["token"]}, {"port", 19820}, {"wsPort", 19822}}));
    renewed->signal(SIGINT);
    EXPECT_EQ(renewed->wait(5000), 0);

    // Started without standard streams, as some launchers start programs, it puts /dev/null
    // in their place rather than let its own sockets and files take their numbers.
    auto bare = launchVelmor({"/bin/sh", "-c", "exec \"$0\" <&- >&- 2>&-", VELMOR_BINARY});
    for (int fd = 0; fd <= 2; ++fd) {
        auto link = "/proc/" + std::to_string(bare->pid()) + "/fd/" + std::to_string(fd);
        EXPECT_EQ(std::filesystem::read_symlink(link), "/dev/null") << link;
    }
    bare->signal(SIGTERM);
    EXPECT_EQ(bare->wait(5000), 0);
}

// An installation set up by an earlier version keeps the token its clients were given; the
// log sits in the XDG state folder, private, and not in /tmp.
TEST_F(VelmorProcess, AnEarlierInstallationKeepsItsTokenAndTheLogGoesToTheStateFolder) {
    const std::string legacy = "0123456789abcdef0123456789abcdef";
    test::writeFile(defaultsPath(), R"({"velmor_onboarding_complete":true,"velmor_bearer_token":")" + legacy + "\"}");
    const std::string state = home.path() + "/.local/state";
    const char* savedState = std::getenv("XDG_STATE_HOME");
    std::optional<std::string> restoreState = savedState ? std::optional<std::string>(savedState) : std::nullopt;
    ::unsetenv("XDG_STATE_HOME");
    auto velmor = launchVelmor();
    if (restoreState) ::setenv("XDG_STATE_HOME", restoreState->c_str(), 1);

    EXPECT_EQ(config()["token"], legacy);
    EXPECT_EQ(json::parse(test::readFile(defaultsPath())), json({{"velmor_onboarding_complete", true}}));
    test::ChildProcess bridge({VELMOR_BRIDGE_BINARY});
    EXPECT_EQ(ask(bridge, {{"jsonrpc", "2.0"}, {"id", 1}, {"method", "tools/list"}})["result"]["tools"].size(), 43u);
    bridge.closeStdin();
    EXPECT_EQ(bridge.wait(5000), 0);

    velmor->signal(SIGTERM);
    ASSERT_EQ(velmor->wait(5000), 0);
    const std::string log = state + "/velmor/velmor.log";
    EXPECT_EQ(test::fileMode(state + "/velmor"), 0700u);
    EXPECT_EQ(test::fileMode(log), 0600u);
    std::string logged = test::readFile(log);
    EXPECT_NE(logged.find("[app] Velmor started on port 19820"), std::string::npos) << logged;
    EXPECT_NE(logged.find("[app] Stopping on SIGTERM"), std::string::npos) << logged;
}

// What a killed run left is cleared at the next start: the clip folders of narrated demos
// whose process is gone (a live demo's folder, locked, stays), and an identity an earlier
// version left readable by everyone is made private.
TEST_F(VelmorProcess, AStartClearsWhatKilledDemosLeftAndMakesTheIdentityPrivate) {
    const std::string tmp = home.path() + "/tmp";
    std::filesystem::create_directories(tmp);
    const char* savedTmp = std::getenv("TMPDIR");
    const std::string restoredTmp = savedTmp ? savedTmp : "";
    ::setenv("TMPDIR", tmp.c_str(), 1);
    struct RestoreTmp {
        std::string value;
        bool had;
        ~RestoreTmp() { had ? (void)::setenv("TMPDIR", value.c_str(), 1) : (void)::unsetenv("TMPDIR"); }
    } restore{restoredTmp, savedTmp != nullptr};

    auto first = launchVelmor();
    first->signal(SIGTERM);
    ASSERT_EQ(first->wait(5000), 0);
    const std::string identity = paths::tlsIdentityFile();
    ASSERT_EQ(test::fileMode(identity), 0600u);
    ::chmod(identity.c_str(), 0644);

    auto folder = [&](const std::string& name, bool withLock) {
        const std::string path = tmp + "/velmor-narration-" + name;
        std::filesystem::create_directories(path);
        test::writeFile(path + "/clip_0.wav", "RIFF");
        if (withLock) test::writeFile(path + "/owner.lock", "");
        return path;
    };
    const std::string killed = folder("killed", true), live = folder("live", true);
    const std::string fresh = folder("fresh", false), old = folder("old", false);
    std::filesystem::last_write_time(old, std::filesystem::file_time_type::clock::now() - std::chrono::hours(2));
    std::filesystem::create_directories(tmp + "/someone-else");
    // A running demo holds its folder's lock for as long as it runs.
    int held = ::open((live + "/owner.lock").c_str(), O_RDWR | O_CLOEXEC);
    ASSERT_GE(held, 0);
    ASSERT_EQ(::flock(held, LOCK_EX | LOCK_NB), 0);

    auto second = launchVelmor();
    EXPECT_FALSE(std::filesystem::exists(killed)) << "its demo is gone";
    EXPECT_FALSE(std::filesystem::exists(old)) << "made long ago and never locked";
    EXPECT_TRUE(std::filesystem::exists(live + "/clip_0.wav")) << "its demo still runs";
    EXPECT_TRUE(std::filesystem::exists(fresh)) << "a demo may have only just made it";
    EXPECT_TRUE(std::filesystem::exists(tmp + "/someone-else"));
    EXPECT_EQ(test::fileMode(identity), 0600u);
    ::close(held);
    second->signal(SIGTERM);
    EXPECT_EQ(second->wait(5000), 0);
}

TEST_F(VelmorProcess, AnMcpClientTalksToVelmorThroughTheBridge) {
    auto velmor = launchVelmor();
    test::ChildProcess bridge({VELMOR_BRIDGE_BINARY});
    json init = ask(bridge, {{"jsonrpc", "2.0"}, {"id", 1}, {"method", "initialize"}, {"params", json::object()}});
    EXPECT_EQ(init["result"]["serverInfo"]["name"], "velmor");
    // A notification and blank lines get no line back; the next answer is the list's.
    bridge.writeStdin("{\"jsonrpc\":\"2.0\",\"method\":\"notifications/initialized\"}\n\n   \n");
    json list = ask(bridge, {{"jsonrpc", "2.0"}, {"id", 2}, {"method", "tools/list"}});
    EXPECT_EQ(list["id"], 2);
    ASSERT_EQ(list["result"]["tools"].size(), 43u);
    json call = ask(bridge, {{"jsonrpc", "2.0"}, {"id", "c"}, {"method", "tools/call"},
                             {"params", {{"name", "click_ok"}, {"arguments", json::object()}}}});
    EXPECT_EQ(call["id"], "c");
    EXPECT_EQ(call["result"]["isError"], true);
    EXPECT_EQ(call["result"]["content"][0]["text"], "Error: no active session");

    // A bridge started with a stale token passes the refusal on.
    json stale = config();
    stale["token"] = "0000";
    test::writeFile(configPath(), stale.dump());
    test::ChildProcess staleBridge({VELMOR_BRIDGE_BINARY});
    EXPECT_EQ(ask(staleBridge, {{"jsonrpc", "2.0"}, {"id", 1}, {"method", "tools/list"}}),
              json::parse(R"({"jsonrpc":"2.0","id":1,"error":{"code":-32603,"message":"Velmor answered HTTP 401: unauthorized"}})"));

    velmor->signal(SIGTERM);
    ASSERT_EQ(velmor->wait(5000), 0);
    json refused = ask(bridge, {{"jsonrpc", "2.0"}, {"id", 3}, {"method", "tools/list"}});
    EXPECT_EQ(refused["id"], 3);
    EXPECT_EQ(refused["error"]["code"], -32603);
    EXPECT_FALSE(refused["error"]["message"].get<std::string>().empty());

    bridge.closeStdin();
    EXPECT_EQ(bridge.wait(5000), 0);
}

TEST_F(VelmorProcess, ADryRunOverTheEndpointKeepsOnlyActionsThatSucceeded) {
    auto velmor = launchVelmor();
    test::ChildProcess bridge({VELMOR_BRIDGE_BINARY});
    auto callTool = [&](const std::string& name, const json& args) {
        json result = ask(bridge, {{"jsonrpc", "2.0"}, {"id", 1}, {"method", "tools/call"},
                                   {"params", {{"name", name}, {"arguments", args}}}})["result"];
        return result.value("isError", false) ? json(result["content"][0]["text"])
                                              : json::parse(result["content"][0]["text"].get<std::string>());
    };
    EXPECT_EQ(callTool("dry_run", {{"active", true}})["status"], "dry_run_started");
    // Without a controlled application typing fails, and a failed action is no step.
    json typed = callTool("type_text", {{"text", "hello"}});
    EXPECT_TRUE(typed.is_string()) << typed;
    json finished = callTool("dry_run", {{"active", false}});
    EXPECT_EQ(finished, json({{"status", "dry_run_complete"}, {"step_count", 0}, {"script", json::array()}}));
    EXPECT_EQ(callTool("list_flows", json::object()), json({{"flows", json::array()}}));
    // What was typed and filled is stored where only the user can read it.
    EXPECT_EQ(test::fileMode(home.path() + "/.local/share/velmor"), 0700u);
    EXPECT_EQ(test::fileMode(home.path() + "/.local/share/velmor/flows.db"), 0600u);
}

// Any program on the machine can reach the page-agent port; one that Velmor did not inject
// offers nothing to the client and is sent away. (Injected pages: velmor_page_agent_test.)
TEST_F(VelmorProcess, AClientThatVelmorDidNotInjectOffersNoTools) {
    auto velmor = launchVelmor();
    std::string diagnostics;
    auto bridgeProcess = test::startSubscribedBridge(diagnostics);
    ASSERT_FALSE(HasFailure());
    test::ChildProcess& bridge = *bridgeProcess;

    test::PageClient page(19822, nullptr, "https://evil.test");
    ASSERT_FALSE(page.sessionId().empty());
    page.send(json({{"type", "session_auth"}, {"nonce", "guessed"}, {"token", "guessed"}}));
    test::PageClient silent(19822, nullptr, "https://evil.test");
    silent.send(json({{"type", "register_tool"}, {"tool", {{"name", "read_me_first"}, {"description", "Call me"}}}}));
    silent.send(json({{"type", "tools_ready"}, {"tools", {"read_me_first"}}}));
    silent.send(json({{"type", "subscribe_tools_changed"}}));
    EXPECT_TRUE(page.closedByServer(std::chrono::seconds(2)));
    EXPECT_TRUE(silent.closedByServer(std::chrono::seconds(7)));

    EXPECT_EQ(ask(bridge, {{"jsonrpc", "2.0"}, {"id", 1}, {"method", "tools/list"}})["result"]["tools"].size(), 43u)
        << "no push came before, and no tool was added";
}

size_t openDescriptors(pid_t pid) {
    size_t count = 0;
    for ([[maybe_unused]] const auto& entry :
         std::filesystem::directory_iterator("/proc/" + std::to_string(pid) + "/fd"))
        ++count;
    return count;
}

// Connections that trickle a byte now and then, on every listener at once, more of them
// than Velmor has descriptors: each listener keeps a bounded number open, and a client
// that sends its request promptly is still served.
TEST_F(VelmorProcess, AFloodOfDrippingConnectionsCannotKeepAClientOut) {
    auto velmor = launchVelmor({"prlimit", "--nofile=1024:1024", VELMOR_BINARY});
    rlimit limit{};
    ::getrlimit(RLIMIT_NOFILE, &limit);
    if (limit.rlim_max < 2000) GTEST_SKIP() << "this test itself needs 2,000 descriptors";
    limit.rlim_cur = limit.rlim_max;
    ::setrlimit(RLIMIT_NOFILE, &limit);

    std::vector<int> dripping;
    auto flood = [&](uint16_t port, int count) {
        for (int i = 0; i < count; ++i) {
            int fd = test::connectLoopback(port);
            if (fd < 0) continue;
            ::send(fd, "P", 1, MSG_NOSIGNAL | MSG_DONTWAIT);
            dripping.push_back(fd);
        }
    };
    flood(19820, 1200);
    flood(19821, 200);
    flood(19822, 200);
    std::atomic<bool> stop{false};
    std::thread dripper([&] {
        while (!stop) {
            for (int fd : dripping) ::send(fd, "O", 1, MSG_NOSIGNAL | MSG_DONTWAIT);
            std::this_thread::sleep_for(50ms);
        }
    });

    std::string body = R"({"jsonrpc":"2.0","id":1,"method":"tools/list"})";
    std::string answer = test::sendAndReadAll(
        19820, "POST /mcp HTTP/1.1\r\nConnection: close\r\nAuthorization: Bearer " + config()["token"].get<std::string>() +
                   "\r\nContent-Length: " + std::to_string(body.size()) + "\r\n\r\n" + body,
        10000);
    EXPECT_TRUE(answer.starts_with("HTTP/1.1 200 OK")) << answer.substr(0, 200);
    EXPECT_NE(answer.find("\"tools\""), std::string::npos);
    EXPECT_LT(openDescriptors(velmor->pid()), 400u);

    stop = true;
    dripper.join();
    for (int fd : dripping) ::close(fd);
}

// The whole of what a program printed on standard output before it ended.
std::string outputOf(const std::vector<std::string>& argv, int& status) {
    test::ChildProcess program(argv);
    std::string output, line;
    while (program.readLine(line)) output += line + "\n";
    status = program.wait();
    return output;
}

TEST(VelmorCommandLine, HelpAndVersionAnswerInEveryProgramAndOtherArgumentsAreRefused) {
    int status = -1;
    std::string help = outputOf({VELMOR_BINARY, "--help"}, status);
    EXPECT_TRUE(help.starts_with("Usage: velmor")) << help;
    EXPECT_EQ(status, 0);
    EXPECT_EQ(outputOf({VELMOR_BINARY, "-h"}, status), help);
    EXPECT_EQ(status, 0);

    // One version for the three programs, the build's.
    const std::string shortcuts = std::filesystem::path(VELMOR_BINARY).parent_path() / "velmor-shortcuts";
    std::string version = outputOf({VELMOR_BINARY, "--version"}, status);
    std::smatch number;
    ASSERT_TRUE(std::regex_match(version, number, std::regex("velmor ([0-9]+\\.[0-9]+\\.[0-9]+)\n"))) << version;
    EXPECT_EQ(status, 0);
    EXPECT_EQ(outputOf({VELMOR_BRIDGE_BINARY, "--version"}, status), "velmor-bridge " + number[1].str() + "\n");
    EXPECT_EQ(status, 0);
    EXPECT_EQ(outputOf({shortcuts, "--version"}, status), "velmor-shortcuts " + number[1].str() + "\n");
    EXPECT_EQ(status, 0);

    test::ChildProcess wrong({VELMOR_BINARY, "--port=1"});
    EXPECT_EQ(wrong.wait(), 2);
}

// Closing the terminal Velmor runs in sends SIGHUP: it ends as on SIGTERM, says so in the
// log, and lets go of its claim, so that the next start is the one Velmor of the user.
TEST_F(VelmorProcess, SighupEndsVelmorInOrderAndTheNextStartRuns) {
    auto velmor = launchVelmor();
    const size_t logBefore = test::readFile(paths::logFile()).size();
    velmor->signal(SIGHUP);
    EXPECT_EQ(velmor->wait(5000), 0);
    EXPECT_NE(test::readFile(paths::logFile()).find("Stopping on SIGHUP", logBefore), std::string::npos);

    auto next = launchVelmor();
    next->signal(SIGTERM);
    EXPECT_EQ(next->wait(5000), 0);
}

// One Velmor per user: a second start leaves the first serving and ends at once with status
// 0; a port that another program holds stops the start with status 1, naming the port.
TEST_F(VelmorProcess, ASecondStartLeavesTheFirstAloneAndAPortHeldByAnotherProgramIsAnError) {
    auto first = launchVelmor();
    test::ChildProcess second({VELMOR_BINARY}, test::velmorEnvironment(home.path()));
    std::string said;
    ASSERT_TRUE(second.readLine(said));
    EXPECT_TRUE(said.starts_with("Velmor is already running")) << said;
    EXPECT_EQ(second.wait(5000), 0);
    int fd = test::connectLoopback(19820);
    EXPECT_GE(fd, 0) << "the first Velmor stopped serving";
    if (fd >= 0) ::close(fd);
    first->signal(SIGTERM);
    ASSERT_EQ(first->wait(5000), 0);

    // Another program on Velmor's WebSocket port, as a stand-in for any of its ports.
    int holder = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(19821);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ASSERT_EQ(::bind(holder, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    ASSERT_EQ(::listen(holder, 1), 0);
    test::ChildProcess refused({VELMOR_BINARY}, test::velmorEnvironment(home.path()));
    EXPECT_EQ(refused.wait(15000), 1);
    std::string errors = refused.drainStderr();
    EXPECT_NE(errors.find("velmor: port 19821 on 127.0.0.1 is already in use by another program"), std::string::npos)
        << errors;
    ::close(holder);
}

}  // namespace
}  // namespace velmor
