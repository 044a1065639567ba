#include "tools/app_control_tools.h"

#include "automation/window_actions.h"

namespace velmor::tools {

using nlohmann::json;

namespace {

class SessionElementTools final : public ElementToolFamily {
public:
    explicit SessionElementTools(automation::SessionManager& session) : session_(session) {}

    std::vector<ElementTool> elementTools() override {
        std::vector<ElementTool> tools;
        for (const auto& element : session_.elementTools())
            tools.push_back({element.toolName, element.toolPrefix, element.description});
        return tools;
    }

    bool hasElementTool(const std::string& name) override { return session_.hasElementTool(name); }

    json performAction(const std::string& toolName, const json& args, const StepRecorder& record) override {
        return answerOf(session_.performAction(toolName, args, [&](const std::string& windowTitle, int64_t elementCount) {
            record({.toolName = toolName, .args = args, .windowTitle = windowTitle, .elementCount = elementCount});
        }));
    }

private:
    automation::SessionManager& session_;
};

}  // namespace

void installAppControlTools(ToolRouter& router, automation::SessionManager& session, platform::Windows& windows) {
    router.registry().handle("session_start", [&session](const Arguments& args) {
        return answerOf(session.startSession(args.string("app_name"), args.string("bundle_id")));
    });
    router.registry().handle("session_end", [&session](const Arguments& args) {
        auto ended = session.endSession(args.string("save_as"));
        return json{{"status", "ended"}, {"app", ended.app}, {"flow", answerOf(std::move(ended.flow))}};
    });
    router.registry().handle("get_page_info", [&session](const Arguments&) { return answerOf(session.getState()); });
    router.registry().handle("list_apps", [&session](const Arguments&) { return json{{"apps", session.listApps()}}; });
    router.registry().handle("activate_app", [&session](const Arguments&) { return answerOf(session.activateTarget()); });
    router.registry().handle("get_windows", [&session, &windows](const Arguments&) {
        auto target = session.liveTarget();
        if (!target) return errorResult(target.error());
        int32_t pid = *target;
        return json{{"windows", automation::getWindows(windows, pid)}};
    });
    router.registry().handle("set_window_frame", [&session, &windows](const Arguments& args) {
        auto target = session.liveTarget();
        if (!target) return errorResult(target.error());
        int32_t pid = *target;
        if (auto done = automation::setWindowFrame(windows, pid, args.integer("x"), args.integer("y"),
                                                    args.integer("width"), args.integer("height")); !done)
            return errorResult(done.error());
        return json{{"status", "resized"}};
    });
}

std::shared_ptr<ElementToolFamily> sessionElementTools(automation::SessionManager& session) {
    return std::make_shared<SessionElementTools>(session);
}

}  // namespace velmor::tools
