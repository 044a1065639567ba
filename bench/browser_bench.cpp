// Measures the page-agent side in-process over loopback: a tool call from the dispatcher's
// family through a tool_call frame to a page that answers at once and back, and building
// the tool list while 200 pages with 50 tools each are connected.
#include "bench_stats.h"
#include "browser/browser_session_manager.h"
#include "browser/page_client.h"
#include "browser/registry_tool_family.h"
#include "browser/websocket_server.h"

#include <atomic>
#include <chrono>
#include <cstdio>
#include <thread>

using namespace std::chrono;
using nlohmann::json;
using velmor::browser::BrowserSessionManager;
using velmor::browser::RegistryToolFamily;
using velmor::browser::WebSocketServer;
using velmor::test::PageClient;

namespace {

// A page that registers `tools` and answers every tool call with one text item at once.
std::unique_ptr<PageClient> readyPage(uint16_t port, const std::vector<std::string>& tools) {
    auto page = std::make_unique<PageClient>(port);
    json schema = {{"type", "object"}, {"properties", {{"value", {{"type", "string"}}}}}};
    for (const auto& name : tools)
        page->send(json{{"type", "register_tool"},
                        {"tool", {{"name", name}, {"description", "Does " + name}, {"inputSchema", schema}}}});
    page->send(json{{"type", "tools_ready"}, {"tools", tools}});
    return page;
}

void roundTrip(uint16_t port, BrowserSessionManager& sessions) {
    auto page = readyPage(port, {"echo"});
    while (!sessions.hasTool("echo")) std::this_thread::sleep_for(1ms);
    std::atomic<bool> done{false};
    std::thread answering([&] {
        while (!done) {
            auto call = page->nextJson(100ms);
            if (!call) continue;
            page->send(json{{"type", "tool_result"},
                            {"callId", (*call)["callId"]},
                            {"result", {{"content", {{{"type", "text"}, {"text", "ok"}}}}}}});
        }
    });
    RegistryToolFamily family(sessions);
    std::vector<double> samples;
    for (int i = 0; i < 2200; ++i) {
        auto start = steady_clock::now();
        json result = family.callBrowserTool("echo", {{"i", i}});
        double ms = velmor::bench::millisecondsSince(start);
        if (result.value("text", "") != "ok") std::fprintf(stderr, "unexpected answer: %s\n", result.dump().c_str());
        if (i >= 200) samples.push_back(ms);
    }
    done = true;
    answering.join();
    std::printf("%s\n", velmor::bench::summarise("page-agent tool call round trip", samples).c_str());
}

void listing(uint16_t port, BrowserSessionManager& sessions, bool sharedNames) {
    constexpr int kPages = 200, kTools = 50;
    std::vector<std::unique_ptr<PageClient>> pages;
    for (int p = 0; p < kPages; ++p) {
        std::vector<std::string> tools;
        for (int t = 0; t < kTools; ++t)
            tools.push_back((sharedNames ? "" : "page" + std::to_string(p) + "_") + "tool_" + std::to_string(t));
        pages.push_back(readyPage(port, tools));
    }
    size_t expected = sharedNames ? kTools : kPages * kTools;
    while (sessions.allBrowserTools().size() < expected) std::this_thread::sleep_for(5ms);
    // Repeated reads find the listing built; the first read after a page changed builds it.
    std::vector<double> repeated, afterChange;
    json schema = {{"type", "object"}, {"properties", {{"value", {{"type", "string"}}}}}};
    for (int i = 0; i < 200; ++i) {
        auto start = steady_clock::now();
        json tools = sessions.allBrowserTools();
        repeated.push_back(velmor::bench::millisecondsSince(start));
    }
    for (int i = 0; i < 100; ++i) {
        std::string name = sharedNames ? "tool_0" : "page0_tool_0";
        sessions.registerTool(pages[0]->sessionId(), name, "Does " + name, schema);
        auto start = steady_clock::now();
        json tools = sessions.allBrowserTools();
        afterChange.push_back(velmor::bench::millisecondsSince(start));
    }
    std::string name = std::string("allBrowserTools, 200 pages x 50 tools, ") +
                       (sharedNames ? "same 50 names on every page (50 listed)" : "distinct names (10000 listed)");
    std::printf("%s\n", velmor::bench::summarise(name, repeated).c_str());
    std::printf("%s\n", velmor::bench::summarise("  first read after a page changed", afterChange).c_str());
}

}  // namespace

int main() {
    {
        BrowserSessionManager sessions;
        WebSocketServer server(0, sessions, "");
        if (!server.start(true)) return 1;
        roundTrip(server.boundPort(), sessions);
    }
    for (bool sharedNames : {false, true}) {
        BrowserSessionManager sessions;
        WebSocketServer server(0, sessions, "");
        if (!server.start(true)) return 1;
        listing(server.boundPort(), sessions, sharedNames);
    }
    return 0;
}
