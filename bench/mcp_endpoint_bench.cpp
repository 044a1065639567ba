// Measures the real velmor on its fixed port inside a private network namespace:
// tools/list latency over HTTP (a connection per request, and one kept connection) and
// through velmor-bridge, throughput from 50 concurrent clients (each way), and resident
// memory when idle.
#include "bench_stats.h"
#include "velmor_probe.h"
#include "support/child_process.h"
#include "support/private_network.h"
#include "support/temp_home.h"

#include <atomic>
#include <chrono>
#include <cstdio>
#include <nlohmann/json.hpp>
#include <thread>

using namespace std::chrono;
using nlohmann::json;

namespace {

constexpr uint16_t kPort = 19820;
const std::string kListBody = R"({"jsonrpc":"2.0","id":1,"method":"tools/list"})";

}  // namespace

int main() {
    if (auto why = velmor::test::enterPrivateNetwork(); !why.empty()) {
        std::fprintf(stderr, "cannot make a private network: %s\n", why.c_str());
        return 1;
    }
    velmor::test::TempHome home;
    velmor::test::ChildProcess velmor({VELMOR_BINARY});
    std::string configPath = home.path() + "/.velmor/config.json";
    for (int i = 0; i < 500; ++i) {
        json config = json::parse(velmor::test::readFile(configPath), nullptr, false);
        if (config.is_object() && config.contains("token")) break;
        std::this_thread::sleep_for(10ms);
    }
    std::string token = json::parse(velmor::test::readFile(configPath))["token"];
    std::this_thread::sleep_for(500ms);
    std::printf("idle velmor resident memory: %.1f MB\n", velmor::bench::residentKilobytes(velmor.pid()) / 1024.0);

    const std::string request = velmor::bench::mcpRequest(token, kListBody);

    std::vector<double> http;
    for (int i = 0; i < 2000; ++i) {
        auto start = steady_clock::now();
        if (!velmor::bench::answeredOverHttp(kPort, request)) std::printf("HTTP request %d failed\n", i);
        http.push_back(velmor::bench::millisecondsSince(start));
    }
    std::puts(velmor::bench::summarise("tools/list over HTTP, a connection each", http).c_str());

    {
        velmor::bench::KeptConnection connection(kPort);
        std::vector<double> kept;
        for (int i = 0; i < 2000; ++i) {
            auto start = steady_clock::now();
            if (!connection.answered(request)) std::printf("kept-connection request %d failed\n", i);
            kept.push_back(velmor::bench::millisecondsSince(start));
        }
        std::puts(velmor::bench::summarise("tools/list over HTTP, one kept connection", kept).c_str());
    }

    {
        velmor::test::ChildProcess bridge({VELMOR_BRIDGE_BINARY});
        std::vector<double> bridged;
        std::string line;
        for (int i = 0; i < 2000; ++i) {
            auto start = steady_clock::now();
            bridge.writeStdin(kListBody + "\n");
            if (!bridge.readLine(line) || !line.starts_with("{\"id\":1,")) std::printf("bridge request %d failed\n", i);
            bridged.push_back(velmor::bench::millisecondsSince(start));
        }
        std::puts(velmor::bench::summarise("tools/list through velmor-bridge", bridged).c_str());
        bridge.closeStdin();
        bridge.wait();
    }

    constexpr int kClients = 50;
    const auto window = seconds(3);
    long failures = 0;
    for (bool keepConnections : {false, true}) {
        std::atomic<long> done{0}, failed{0};
        std::vector<std::thread> clients;
        auto start = steady_clock::now();
        for (int c = 0; c < kClients; ++c)
            clients.emplace_back([&] {
                velmor::bench::KeptConnection connection(kPort);
                while (steady_clock::now() - start < window) {
                    bool ok = keepConnections ? connection.answered(request) : velmor::bench::answeredOverHttp(kPort, request);
                    (ok ? done : failed)++;
                }
            });
        for (auto& client : clients) client.join();
        double seconds = velmor::bench::millisecondsSince(start) / 1000.0;
        std::printf("tools/list from %d concurrent clients, %s: %.0f requests/s, %ld done, %ld failed\n", kClients,
                    keepConnections ? "kept connections" : "a connection each", done / seconds, done.load(), failed.load());
        failures += failed;
    }
    std::this_thread::sleep_for(1s);
    std::printf("velmor resident memory right after the load: %.1f MB\n", velmor::bench::residentKilobytes(velmor.pid()) / 1024.0);
    // Worker threads beyond the few kept warm leave after 30 s without work.
    std::this_thread::sleep_for(35s);
    std::printf("velmor resident memory idle again after the load: %.1f MB\n", velmor::bench::residentKilobytes(velmor.pid()) / 1024.0);
    return failures == 0 ? 0 : 1;
}
