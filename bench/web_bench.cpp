// Measures the page half against a real headless Chromium: web_scan of a page with 1,000
// controls end to end through the dispatcher (DevTools round trip, scan, registry refill),
// and one web_execute_js round trip.
#include "bench_stats.h"
#include "browser/browser_session_manager.h"
#include "browser/headless_chromium.h"
#include "browser/registry_tool_family.h"
#include "browser/script_injector.h"
#include "tools/tool_router.h"
#include "tools/web_tools.h"

#include <chrono>
#include <cstdio>

using namespace std::chrono;
using nlohmann::json;
using namespace velmor;

int main() {
    browser::HeadlessChromium chromium;
    browser::ScriptInjector injector({.devToolsPort = chromium.devToolsPort()});
    browser::BrowserSessionManager sessions;
    tools::ToolFamilies families;
    families.browser = std::make_shared<browser::RegistryToolFamily>(sessions, tools::webToolExecutor(injector));
    tools::ToolRouter router(std::move(families));
    tools::installWebTools(router, injector, sessions);

    std::string url = chromium.pageUrl("many_controls.html");
    chromium.openTab(url);

    std::vector<double> scans;
    size_t found = 0;
    for (int i = 0; i < 30; ++i) {
        auto start = steady_clock::now();
        json scan = router.callTool("web_scan", {{"url", url}});
        scans.push_back(velmor::bench::millisecondsSince(start));
        found = scan.value("toolCount", 0);
    }
    std::printf("%s (%zu tools found)\n", bench::summarise("web_scan, 1000 controls", scans).c_str(), found);

    std::vector<double> trips;
    for (int i = 0; i < 200; ++i) {
        auto start = steady_clock::now();
        router.callTool("web_execute_js", {{"js", "JSON.stringify({n: 1})"}, {"url", url}});
        trips.push_back(velmor::bench::millisecondsSince(start));
    }
    std::printf("%s\n", bench::summarise("web_execute_js round trip", trips).c_str());
    return 0;
}
