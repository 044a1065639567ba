#pragma once

#include "browser/browser_session_manager.h"
#include "browser/headless_chromium.h"
#include "tools/registry_tool_family.h"
#include "browser/script_injector.h"
#include "support/eventually.h"
#include "tools/tool_router.h"
#include "tools/web_tools.h"

#include <gtest/gtest.h>
#include <memory>
#include <string>
#include <vector>

namespace velmor::browser {

// One headless Chromium for the whole suite; each test opens its own tab, under a URL no
// other tab has, and closes it afterwards. The dispatcher is wired the way the application
// wires it, with a registry of its own.
class WebPageTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { chromium = new HeadlessChromium(); }
    static void TearDownTestSuite() {
        delete chromium;
        chromium = nullptr;
    }

    void SetUp() override {
        injector = std::make_unique<ScriptInjector>(
            ScriptInjector::Endpoints{.devToolsPort = chromium->devToolsPort(), .agentPort = agentPort}, sessions.agents());
        tools::ToolFamilies families;
        families.browser = std::make_shared<tools::RegistryToolFamily>(sessions, tools::webToolExecutor(*injector));
        families.recordStep = [this](const tools::StepRecord& step) { recorded.push_back(step); };
        router = std::make_unique<tools::ToolRouter>(std::move(families));
        tools::connectToolChanges(router->registry(), sessions);
        tools::installWebTools(*router, *injector, sessions);
    }
    void TearDown() override {
        for (const auto& id : tabs) chromium->closeTab(id);
    }

    // Opens the fixture page in a new tab; answers the tab's URL, which no other tab shares.
    std::string open(const std::string& page) {
        std::string url = chromium->pageUrl(page) + (page.find('?') == std::string::npos ? "?" : "&") + "tab=" +
                          std::to_string(++tabCounter);
        tabs.push_back(chromium->openTab(url));
        return url;
    }
    nlohmann::json call(const std::string& name, const nlohmann::json& args) { return router->callTool(name, args).result(); }
    // The value of a page expression, read through web_execute_js.
    nlohmann::json pageValue(const std::string& url, const std::string& expression) {
        auto result = call("web_execute_js", {{"js", "JSON.stringify({v: " + expression + "})"}, {"url", url}});
        return result.value("v", nlohmann::json());
    }

    // The scanned tool named `name`; null when there is none.
    static nlohmann::json toolNamed(const nlohmann::json& scan, const std::string& name) {
        for (const auto& tool : scan.value("tools", nlohmann::json::array()))
            if (tool["name"] == name) return tool;
        return nullptr;
    }
    // The name of the scanned tool labelled `label`; empty when there is none.
    static std::string toolLabelled(const nlohmann::json& scan, const std::string& label) {
        for (const auto& tool : scan.value("tools", nlohmann::json::array()))
            if (tool["label"] == label) return tool["name"];
        return "";
    }

    static inline HeadlessChromium* chromium = nullptr;
    static inline int tabCounter = 0;
    BrowserSessionManager sessions;
    uint16_t agentPort = kPlainPageAgentPort;  // the page-agent listener the injector hands to the agent
    std::unique_ptr<ScriptInjector> injector;
    std::unique_ptr<tools::ToolRouter> router;
    std::vector<tools::StepRecord> recorded;
    std::vector<std::string> tabs;
};

}  // namespace velmor::browser
