#include "tools/flow_tools.h"

#include "tools/dry_run_script.h"

namespace velmor::tools {

namespace {

// The application name a dry run records under; the recording is discarded at its end.
constexpr const char* kDryRunName = "__dry_run__";

nlohmann::json searchFlows(flows::FlowStore& store, const Arguments& args) {
    auto query = args.string("query");
    if (!query) return errorResult(missingField("query"));
    nlohmann::json flows = store.searchFlows(*query);
    if (flows.empty())
        return {{"matches", 0},
                {"message",
                 "No saved flows match '" + *query + "'. You'll need to figure out the steps from scratch."}};
    return {{"matches", flows.size()}, {"flows", std::move(flows)}};
}

nlohmann::json dryRun(flows::FlowStore& store, const std::function<std::string()>& defaultVoice,
                      const Arguments& args) {
    auto active = args.boolean("active");
    if (!active) return errorResult("missing 'active' (true/false)");
    if (*active) {
        store.beginRecording(kDryRunName);
        return {{"status", "dry_run_started"},
                {"message", "Walk through the flow now. Every action is being recorded. "
                            "Call dry_run(active: false) when done."}};
    }
    // Without a recording (none was started, or it could not be read back) the script is empty.
    auto recording = store.endRecording(std::nullopt);
    nlohmann::json script = dryRunScript(recording ? recording->at("steps") : nlohmann::json::array(), defaultVoice());
    return {{"status", "dry_run_complete"}, {"step_count", script.size()}, {"script", std::move(script)}};
}

}  // namespace

void installFlowTools(ToolRouter& router, flows::FlowStore& store, std::function<std::string()> defaultVoice) {
    router.registry().handle("search_flows", [&store](const Arguments& args) { return searchFlows(store, args); });
    router.registry().handle("list_flows", [&store](const Arguments&) {
        return nlohmann::json{{"flows", store.listFlows()}};
    });
    router.registry().handle("load_flow", [&store](const Arguments& args) {
        auto name = args.string("name");
        return name ? answerOf(store.loadFlow(*name)) : errorResult(missingField("name"));
    });
    router.registry().handle("delete_flow", [&store](const Arguments& args) {
        auto name = args.string("name");
        return name ? answerOf(store.deleteFlow(*name)) : errorResult(missingField("name"));
    });
    router.registry().handle("dry_run", [&store, defaultVoice = std::move(defaultVoice)](const Arguments& args) {
        return dryRun(store, defaultVoice, args);
    });
}

StepRecorder flowStepRecorder(flows::FlowStore& store) {
    return [&store](const StepRecord& step) {
        store.recordStep(step.toolName, step.args, step.windowTitle, step.elementCount, step.pageUrl, step.context);
    };
}

}  // namespace velmor::tools
