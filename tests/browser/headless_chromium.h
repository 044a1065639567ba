#pragma once

#include "support/child_process.h"
#include "support/temp_home.h"

#include <cstdint>
#include <memory>
#include <nlohmann/json.hpp>
#include <vector>
#include <string>

namespace velmor::browser {

// A real headless Chromium with a fresh profile, plus two loopback HTTP servers for the pages
// in tests/fixtures/web (fixture_server.py: the pages, the npm-packaged third-party pages
// under node_modules, and a stand-in API that logs what pages send it). Its DevTools port
// is `devToolsPort`, or one of its own choosing when that is 0.
class HeadlessChromium {
public:
    explicit HeadlessChromium(uint16_t devToolsPort = 0);
    ~HeadlessChromium();

    uint16_t devToolsPort() const { return devToolsPort_; }
    // http://127.0.0.1:<port>/<page>
    std::string pageUrl(const std::string& page) const;
    // The port of a second server of the same pages and API log: another origin.
    uint16_t otherOriginPort() const { return otherPagesPort_; }
    // What pages sent to /api/ so far, one JSON object per request, oldest first.
    std::vector<nlohmann::json> apiRequests() const;
    // Opens `url` in a new tab, waits until the page has loaded and returns the tab's id.
    std::string openTab(const std::string& url);
    void closeTab(const std::string& id);

private:
    std::string devTools(const std::string& method, const std::string& target) const;

    test::TempHome home_;
    std::unique_ptr<test::ChildProcess> pages_;
    uint16_t pagesPort_ = 0;
    std::unique_ptr<test::ChildProcess> otherPages_;
    uint16_t otherPagesPort_ = 0;
    std::string apiLog_;
    std::unique_ptr<test::ChildProcess> chromium_;
    uint16_t devToolsPort_ = 0;
};

}  // namespace velmor::browser
