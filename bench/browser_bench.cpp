// Measures the page-agent side in-process over loopback: what authenticating adds to a page's
// time to ready, a tool call from the dispatcher's family through a tool_call frame to a page
// that answers at once and back, and building the tool list while the most pages allowed
// (32) offer the most tools allowed (200 each), with the tool registry deciding which names
// are taken.
#include "bench_stats.h"
#include "browser/browser_session_manager.h"
#include "browser/page_client.h"
#include "browser/page_tool_names.h"
#include "tools/registry_tool_family.h"
#include "browser/websocket_server.h"

#include <atomic>
#include <chrono>
#include <cstdio>
#include <thread>

using namespace std::chrono;
using nlohmann::json;
using velmor::browser::BrowserSessionManager;
using velmor::browser::PageAgents;
using velmor::tools::RegistryToolFamily;
using velmor::browser::WebSocketServer;
using velmor::test::PageClient;

namespace {

constexpr const char* kOrigin = "https://bench.test";

// A page agent Velmor injected, authenticated.
std::unique_ptr<PageClient> injectedPage(uint16_t port, BrowserSessionManager& sessions) {
    auto page = std::make_unique<PageClient>(port, nullptr, kOrigin);
    page->send(json{{"type", "session_auth"}, {"nonce", sessions.agents().issuePageNonce(kOrigin)}});
    return page;
}

// Waits for the pong that answers a ping sent after everything else.
void handled(PageClient& page) {
    page.send(std::string(R"({"type":"ping"})"));
    while (auto frame = page.next()) if (*frame == R"({"type":"pong"})") return;
}

// A page that registers `tools` and answers every tool call with one text item at once.
std::unique_ptr<PageClient> readyPage(uint16_t port, BrowserSessionManager& sessions,
                                      const std::vector<std::string>& tools) {
    auto page = injectedPage(port, sessions);
    json schema = {{"type", "object"}, {"properties", {{"value", {{"type", "string"}}}}}};
    for (const auto& name : tools)
        page->send(json{{"type", "register_tool"},
                        {"tool", {{"name", name}, {"description", "Does " + name}, {"inputSchema", schema}}}});
    page->send(json{{"type", "tools_ready"}, {"tools", tools}});
    return page;
}

// Time to ready: from opening the connection until the page's 20 tools are listed. The part
// authentication takes is measured on its own: a session_auth and a ping answered, less a ping
// answered on a page that is already authenticated.
void timeToReady(uint16_t port, BrowserSessionManager& sessions) {
    std::vector<std::string> tools;
    for (int t = 0; t < 20; ++t) tools.push_back("tool_" + std::to_string(t));
    std::vector<double> ready, authenticated, ping;
    // Closed pages leave before the next one comes, so the page limit is never reached.
    auto closeAndWait = [&](std::unique_ptr<PageClient> page) {
        std::string id = page->sessionId();
        page.reset();
        while (sessions.agents().session(id)) std::this_thread::sleep_for(100us);
    };
    for (int i = 0; i < 300; ++i) {
        auto start = steady_clock::now();
        auto page = readyPage(port, sessions, tools);
        for (;;) {
            auto state = sessions.agents().sessionState(page->sessionId());
            if (state && state->isReady) break;
            std::this_thread::yield();
        }
        ready.push_back(velmor::bench::millisecondsSince(start));
        closeAndWait(std::move(page));
    }
    for (int i = 0; i < 300; ++i) {
        auto page = std::make_unique<PageClient>(port, nullptr, kOrigin);
        auto start = steady_clock::now();
        page->send(json{{"type", "session_auth"}, {"nonce", sessions.agents().issuePageNonce(kOrigin)}});
        handled(*page);
        authenticated.push_back(velmor::bench::millisecondsSince(start));
        start = steady_clock::now();
        handled(*page);
        ping.push_back(velmor::bench::millisecondsSince(start));
        closeAndWait(std::move(page));
    }
    std::printf("%s\n",
                velmor::bench::summarise("time to ready, page with 20 tools (connect, auth, register)", ready).c_str());
    std::printf("%s\n", velmor::bench::summarise("  session_auth + ping answered", authenticated).c_str());
    std::printf("%s\n", velmor::bench::summarise("  ping answered (authenticated page)", ping).c_str());
}

void roundTrip(uint16_t port, BrowserSessionManager& sessions) {
    auto page = readyPage(port, sessions, {"echo"});
    while (!sessions.agents().hasTool("echo")) std::this_thread::sleep_for(1ms);
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
    constexpr int kPages = PageAgents::kMaxPageSessions, kTools = PageAgents::kMaxToolsPerPage;
    std::vector<std::unique_ptr<PageClient>> pages;
    for (int p = 0; p < kPages; ++p) {
        std::vector<std::string> tools;
        for (int t = 0; t < kTools; ++t)
            tools.push_back((sharedNames ? "" : "page" + std::to_string(p) + "_") + "tool_" + std::to_string(t));
        pages.push_back(readyPage(port, sessions, tools));
    }
    size_t expected = sharedNames ? kTools : kPages * kTools;
    while (sessions.agents().allBrowserTools().size() < expected) std::this_thread::sleep_for(5ms);
    // Repeated reads find the listing built; the first read after a page changed builds it.
    std::vector<double> repeated, afterChange;
    json schema = {{"type", "object"}, {"properties", {{"value", {{"type", "string"}}}}}};
    for (int i = 0; i < 200; ++i) {
        auto start = steady_clock::now();
        json tools = sessions.agents().allBrowserTools();
        repeated.push_back(velmor::bench::millisecondsSince(start));
    }
    for (int i = 0; i < 100; ++i) {
        std::string name = sharedNames ? "tool_0" : "page0_tool_0";
        sessions.agents().registerTool(pages[0]->sessionId(), name, "Does " + name, schema);
        auto start = steady_clock::now();
        json tools = sessions.agents().allBrowserTools();
        afterChange.push_back(velmor::bench::millisecondsSince(start));
    }
    std::string name = std::string("allBrowserTools, 32 pages x 200 tools, ") +
                       (sharedNames ? "same 200 names on every page (200 listed)" : "distinct names (6400 listed)");
    std::printf("%s\n", velmor::bench::summarise(name, repeated).c_str());
    std::printf("%s\n", velmor::bench::summarise("  first read after a page changed", afterChange).c_str());
}

}  // namespace

int main() {
    {
        BrowserSessionManager sessions;
        WebSocketServer server(0, sessions, "");
        if (!server.start(true)) return 1;
        timeToReady(server.boundPort(), sessions);
        roundTrip(server.boundPort(), sessions);
    }
    for (bool sharedNames : {false, true}) {
        BrowserSessionManager sessions;
        // Every listed page tool asks the tool registry whether its name is taken, as in the
        // application; the registry outlives the server's connections.
        velmor::browser::PageToolNames takenNames(sessions);
        WebSocketServer server(0, sessions, "");
        if (!server.start(true)) return 1;
        listing(server.boundPort(), sessions, sharedNames);
    }
    return 0;
}
