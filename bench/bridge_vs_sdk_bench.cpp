// The bridge against the official SDK's own stdio server, side by side in one run: both
// serve the same tool list (Velmor's fixed tools) and answer the same small call, and a
// client writes one request and waits for its answer, alternating between the two. Then,
// through the bridge alone, how soon a tools/list is answered while a 4 s call runs.
// Velmor's MCP endpoint (the real listener, JSON-RPC layer and catalogue) runs in this
// process on an ephemeral port, the bridge and the node server as child processes.
#include "bench_stats.h"
#include "mcp/json_rpc.h"
#include "mcp/mcp_server.h"
#include "support/child_process.h"
#include "support/free_port.h"
#include "support/temp_home.h"
#include "tools/tool_router.h"

#include <chrono>
#include <cstdio>
#include <thread>
#include <nlohmann/json.hpp>

using namespace std::chrono;
using nlohmann::json;

namespace {

constexpr int kRounds = 1000;
const std::string kCallAnswer = R"({"apps":[{"name":"Calculator","pid":7}]})";
const std::string kInitialize =
    R"({"jsonrpc":"2.0","id":0,"method":"initialize","params":{"protocolVersion":"2025-06-18","capabilities":{},"clientInfo":{"name":"bench","version":"1"}}})";
const std::string kInitialized = R"({"jsonrpc":"2.0","method":"notifications/initialized"})";

// Writes `request` and waits for the line that answers it; the time taken, or -1.
double exchange(velmor::test::ChildProcess& server, const std::string& request, const std::string& expectedStart) {
    auto start = steady_clock::now();
    server.writeStdin(request + "\n");
    std::string line;
    if (!server.readLine(line, 10000) || line.find(expectedStart) == std::string::npos) return -1;
    return velmor::bench::millisecondsSince(start);
}

}  // namespace

int main() {
    velmor::test::TempHome home;
    velmor::tools::ToolRouter router;
    router.registry().handle("list_apps", [](const velmor::Arguments&) { return json::parse(kCallAnswer); });
    // A call that takes its time, for the list asked for meanwhile.
    router.registry().handle("get_clipboard", [](const velmor::Arguments&) {
        std::this_thread::sleep_for(4s);
        return json{{"text", ""}};
    });
    velmor::mcp::McpServer endpoint(0, "bench-token",
                                    [&router](std::string_view body, const velmor::mcp::RequestChannel& channel) {
                                        return velmor::mcp::handleRequest(router, body, channel);
                                    });
    if (!endpoint.start()) return 1;
    velmor::test::writeFile(home.path() + "/.velmor/config.json",
                            json{{"token", "bench-token"}, {"port", endpoint.boundPort()}, {"wsPort", velmor::test::freePort()}}.dump());
    const std::string toolsPath = home.path() + "/tools.json";
    velmor::test::writeFile(toolsPath, router.allTools().dump());

    velmor::test::ChildProcess bridge({VELMOR_BRIDGE_BINARY});
    velmor::test::ChildProcess sdk({"node", std::string(VELMOR_MCP_SDK_FIXTURES) + "/sdk_stdio_server.mjs", toolsPath, kCallAnswer});
    for (auto* server : {&bridge, &sdk}) {
        if (exchange(*server, kInitialize, "\"id\":0") < 0) {
            std::fprintf(stderr, "initialize failed: %s\n", server->drainStderr().c_str());
            return 1;
        }
        server->writeStdin(kInitialized + "\n");
    }

    const std::string list = R"({"jsonrpc":"2.0","id":1,"method":"tools/list"})";
    const std::string call = R"({"jsonrpc":"2.0","id":2,"method":"tools/call","params":{"name":"list_apps","arguments":{}}})";
    std::vector<double> bridgeList, sdkList, bridgeCall, sdkCall;
    int failures = 0;
    for (int round = 0; round < kRounds; ++round) {
        for (auto [server, samples, request, id] :
             {std::tuple{&bridge, &bridgeList, &list, "\"id\":1"}, std::tuple{&sdk, &sdkList, &list, "\"id\":1"},
              std::tuple{&bridge, &bridgeCall, &call, "\"id\":2"}, std::tuple{&sdk, &sdkCall, &call, "\"id\":2"}}) {
            double ms = exchange(*server, *request, id);
            if (ms < 0) ++failures;
            else samples->push_back(ms);
        }
    }
    auto median = [](std::vector<double> samples) {
        std::sort(samples.begin(), samples.end());
        return samples.empty() ? 0.0 : samples[samples.size() / 2];
    };
    std::puts(velmor::bench::summarise("tools/list through velmor-bridge", bridgeList).c_str());
    std::puts(velmor::bench::summarise("tools/list from the SDK's stdio server", sdkList).c_str());
    std::puts(velmor::bench::summarise("small tools/call through velmor-bridge", bridgeCall).c_str());
    std::puts(velmor::bench::summarise("small tools/call from the SDK's stdio server", sdkCall).c_str());
    std::printf("bridge / SDK median: tools/list %.2fx, tools/call %.2fx; %d failed requests\n",
                median(bridgeList) / median(sdkList), median(bridgeCall) / median(sdkCall), failures);

    // A list asked for while a long call holds its answer back: answered at once, the
    // call's answer coming after it.
    std::vector<double> listDuringCall;
    const std::string slowCall = R"({"jsonrpc":"2.0","id":3,"method":"tools/call","params":{"name":"get_clipboard","arguments":{}}})";
    const std::string listDuring = R"({"jsonrpc":"2.0","id":4,"method":"tools/list"})";
    for (int round = 0; round < 3; ++round) {
        bridge.writeStdin(slowCall + "\n");
        std::this_thread::sleep_for(200ms);
        double ms = exchange(bridge, listDuring, "\"id\":4");
        std::string line;
        if (ms < 0 || !bridge.readLine(line, 10000) || line.find("\"id\":3") == std::string::npos) ++failures;
        else listDuringCall.push_back(ms);
    }
    std::puts(velmor::bench::summarise("tools/list through velmor-bridge while a 4 s call runs", listDuringCall).c_str());
    return failures == 0 ? 0 : 1;
}
