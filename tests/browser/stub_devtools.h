#pragma once

#include "browser/devtools_client.h"

#include <functional>
#include <memory>
#include <nlohmann/json.hpp>
#include <optional>
#include <set>
#include <string>
#include <vector>

namespace velmor::test {

// A DevTools endpoint without a browser: a fixed tab list, and pages whose every command is
// answered by `answer`, but for the main frame and isolated worlds, which they answer themselves. What was asked of it is kept in `log` ("list", "connect <id>",
// "<id> <method>"), for the tests to see which tab the work went to.
class StubDevTools final : public browser::DevToolsClient {
public:
    using Answer =
        std::function<Result<nlohmann::json>(const std::string& targetId, const std::string& method,
                                             const nlohmann::json& params)>;

    std::vector<browser::DevToolsPage> pages;
    std::optional<std::string> listFailure;  // listing fails with this text
    std::set<std::string> goneTargets;       // tabs that cannot be reached by their id
    Answer answer = [](const std::string&, const std::string&, const nlohmann::json&) {
        return Result<nlohmann::json>(nlohmann::json::object());
    };
    mutable std::vector<std::string> log;

    Result<std::vector<browser::DevToolsPage>> listPages() const override {
        log.push_back("list");
        if (listFailure) return fail(*listFailure);
        return pages;
    }
    Result<std::unique_ptr<browser::DevToolsSession>> connect(const browser::DevToolsPage& page) const override {
        return connect(page.id);
    }
    Result<std::unique_ptr<browser::DevToolsSession>> connect(const std::string& targetId) const override {
        log.push_back("connect " + targetId);
        if (goneTargets.count(targetId)) return fail("Chrome: cannot connect to the tab within 5 s");
        return std::unique_ptr<browser::DevToolsSession>(new Session(*this, targetId));
    }

private:
    class Session final : public browser::DevToolsSession {
    public:
        Session(const StubDevTools& devTools, std::string targetId) : devTools_(devTools), targetId_(std::move(targetId)) {}

        bool send(const std::string& method, const nlohmann::json&) override {
            devTools_.log.push_back(targetId_ + " " + method);
            return true;
        }
        Result<nlohmann::json> call(const std::string& method, const nlohmann::json& params,
                                    std::optional<std::chrono::milliseconds>) override {
            devTools_.log.push_back(targetId_ + " " + method);
            // A stub tab is one frame, named as the tab, and has room for any isolated world.
            if (method == "Page.getFrameTree") return nlohmann::json{{"frameTree", {{"frame", {{"id", targetId_}}}}}};
            if (method == "Page.createIsolatedWorld") return nlohmann::json{{"executionContextId", 2}};
            return devTools_.answer(targetId_, method, params);
        }
        bool waitForEvent(const std::function<bool(const std::string&, const nlohmann::json&)>&,
                          std::chrono::milliseconds) override {
            return false;
        }
        bool skipToArrivedEvent(const std::function<bool(const std::string&, const nlohmann::json&)>&) override {
            return false;
        }
        bool usable() const override { return true; }
        const std::vector<browser::PageDialog>& dialogs() const override { return dialogs_; }
        void answerDialogs(bool) override {}
        // A stub tab holds no frames of other sites.
        Result<std::vector<AttachedFrame>> attachChildFrames(size_t, std::optional<std::chrono::milliseconds>) override {
            return std::vector<AttachedFrame>{};
        }
        Result<std::unique_ptr<browser::DevToolsSession>> attachFrame(const std::string&,
                                                                      std::optional<std::chrono::milliseconds>) override {
            return fail(browser::kFrameGoneError);
        }

    private:
        const StubDevTools& devTools_;
        std::string targetId_;
        std::vector<browser::PageDialog> dialogs_;  // a stub page opens none
    };
};

}  // namespace velmor::test
