#include "bridge/running_bridge.h"

#include <chrono>
#include <thread>

namespace velmor::bridge::test {

void writeConfig(const velmor::test::TempHome& home, const std::string& json) {
    velmor::test::writeFile(home.path() + "/.velmor/config.json", json);
}

void writeConfig(const velmor::test::TempHome& home, const std::string& token, std::int64_t port, std::int64_t wsPort) {
    writeConfig(home, R"({"token":")" + token + R"(","port":)" + std::to_string(port) + R"(,"wsPort":)" +
                          std::to_string(wsPort) + "}");
}

RunningBridge::RunningBridge() : process_({VELMOR_BRIDGE_BINARY}) {}

std::string RunningBridge::readLine(int timeoutMs) {
    std::string line;
    return process_.readLine(line, timeoutMs) ? line : "<no line>";
}

bool RunningBridge::waitForStderr(std::string_view text, int timeoutMs) {
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (stderrSoFar().find(text) == std::string::npos) {
        if (std::chrono::steady_clock::now() > deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return true;
}

const std::string& RunningBridge::stderrSoFar() {
    stderr_ += process_.drainStderr();
    return stderr_;
}

}  // namespace velmor::bridge::test
