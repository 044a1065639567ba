// Measures the page half against a real headless Chromium, end to end through the dispatcher
// (DevTools round trips, page script, registry refill): web_scan of TodoMVC, of a page with
// 1,000 controls, of a Tabulator grid of 300 rows and of a page with 3 frames and 2 web components' shadow roots (once
// with one frame of another site, which runs in a renderer of its own), a click through a scanned tool on a button whose page handler does next to
// nothing (so the figure is Velmor's own cost), one web_wait_for look that finds its text at once, one web_execute_js round trip with a small
// and with a large script, and the bytes of each test page's web_scan answer and of the tools
// it adds to tools/list.
#include "bench_stats.h"
#include "browser/browser_session_manager.h"
#include "browser/headless_chromium.h"
#include "tools/registry_tool_family.h"
#include "browser/script_injector.h"
#include "tools/tool_router.h"
#include "tools/web_tools.h"

#include <chrono>
#include <cstdio>
#include <functional>
#include <thread>

using namespace std::chrono;
using nlohmann::json;
using namespace velmor;

namespace {

std::vector<double> timed(int runs, const std::function<void()>& work) {
    std::vector<double> samples;
    for (int i = 0; i < runs; ++i) {
        auto start = steady_clock::now();
        work();
        samples.push_back(bench::millisecondsSince(start));
    }
    return samples;
}

}  // namespace

int main() {
    browser::HeadlessChromium chromium;
    browser::BrowserSessionManager sessions;
    browser::ScriptInjector injector({.devToolsPort = chromium.devToolsPort()}, sessions.agents());
    tools::ToolFamilies families;
    families.browser = std::make_shared<tools::RegistryToolFamily>(sessions, tools::webToolExecutor(injector));
    tools::ToolRouter router(std::move(families));
    tools::installWebTools(router, injector, sessions);

    // Framework pages render after their load event.
    auto openRendered = [&](const std::string& page, const std::string& ready) {
        std::string url = chromium.pageUrl(page);
        chromium.openTab(url);
        for (int i = 0; i < 200; ++i) {
            auto rendered = injector.runJS("!!(" + ready + ")", "chrome", url);
            if (rendered && rendered->value("result", false)) break;
            std::this_thread::sleep_for(50ms);
        }
        return url;
    };

    std::string todo = openRendered("node_modules/todomvc/examples/react/index.html", "document.querySelector('#new-todo')");
    router.callTool("web_scan", {{"url", todo}});
    for (const char* item : {"Buy milk", "Walk the dog", "Water the plants"}) {
        router.callTool("fill_what_needs_to_be_done", {{"value", item}});
        router.callTool("web_action", {{"tool_name", "fill_what_needs_to_be_done"}, {"action", "press"}, {"value", "Enter"}});
    }
    std::string swagger = openRendered("swagger.html", "document.querySelectorAll('.opblock').length === 12");
    std::string many = openRendered("many_controls.html", "true");
    std::string listeners = openRendered("listeners.html", "true");
    std::string grid = openRendered("grid.html?more=297", "document.querySelectorAll('[role=\"gridcell\"]').length === 900");
    std::string embedded = openRendered("embedded.html?other=" + std::to_string(chromium.otherOriginPort()),
                                        "document.querySelector('login-card').shadowRoot");
    std::string otherSite = openRendered(
        "embedded.html?host=localhost&other=" + std::to_string(chromium.otherOriginPort()),
        "document.querySelector('login-card').shadowRoot");
    // The frames load after the page.
    for (const auto& url : {embedded, otherSite})
        for (int i = 0; i < 200 && router.callTool("web_scan", {{"url", url}}).result().value("toolCount", 0) < 11; ++i)
            std::this_thread::sleep_for(50ms);

    std::printf("bytes per page (web_scan answer / tools it adds to tools/list):\n");
    for (const auto& [name, url] : std::vector<std::pair<std::string, std::string>>{
             {"controls.html", openRendered("controls.html", "true")},
             {"unlabeled.html", openRendered("unlabeled.html", "true")},
             {"listeners.html", listeners},
             {"TodoMVC (React, 3 items)", todo},
             {"Swagger UI (12 operations)", swagger},
             {"many_controls.html", many},
             {"grid.html (Tabulator, 300 rows)", grid},
             {"embedded.html (3 frames, 2 shadow roots)", embedded},
             {"embedded.html, a frame of another site", otherSite}}) {
        json scan = router.callTool("web_scan", {{"url", url}}).result();
        std::printf("  %-42s %7zu / %7zu bytes (%d tools)\n", name.c_str(), scan.dump().size(),
                    sessions.webTools().listing().dump().size(), scan.value("toolCount", 0));
    }

    std::printf("%s\n", bench::summarise("web_scan, TodoMVC", timed(50, [&] {
                            router.callTool("web_scan", {{"url", todo}});
                        })).c_str());
    std::printf("%s\n", bench::summarise("web_scan, Swagger UI", timed(30, [&] {
                            router.callTool("web_scan", {{"url", swagger}});
                        })).c_str());
    std::printf("%s\n", bench::summarise("web_scan, 1000 controls", timed(30, [&] {
                            router.callTool("web_scan", {{"url", many}});
                        })).c_str());

    std::printf("%s\n", bench::summarise("web_scan, Tabulator grid of 300 rows", timed(30, [&] {
                            router.callTool("web_scan", {{"url", grid}});
                        })).c_str());
    std::printf("%s\n", bench::summarise("web_scan, 3 frames and 2 shadow roots", timed(30, [&] {
                            router.callTool("web_scan", {{"url", embedded}});
                        })).c_str());
    std::printf("%s\n", bench::summarise("web_scan, 3 frames (1 of another site) and 2 shadow roots", timed(30, [&] {
                            router.callTool("web_scan", {{"url", otherSite}});
                        })).c_str());

    router.callTool("web_scan", {{"url", listeners}});
    std::printf("%s\n", bench::summarise("click through a scanned tool", timed(200, [&] {
                            router.callTool("click_go", json::object());
                        })).c_str());
    std::printf("%s\n", bench::summarise("web_wait_for text already shown (one look)", timed(200, [&] {
                            router.callTool("web_wait_for", {{"text", "profile"}, {"url", listeners}});
                        })).c_str());
    std::printf("%s\n", bench::summarise("web_execute_js round trip", timed(200, [&] {
                            router.callTool("web_execute_js", {{"js", "JSON.stringify({n: 1})"}, {"url", listeners}});
                        })).c_str());
    std::string large = "JSON.stringify({n: 1}) /*" + std::string(16 * 1024, 'x') + "*/";
    std::printf("%s\n", bench::summarise("web_execute_js round trip, 16 KiB script", timed(200, [&] {
                            router.callTool("web_execute_js", {{"js", large}, {"url", listeners}});
                        })).c_str());
    return 0;
}
