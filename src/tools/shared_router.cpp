#include "flows/flow_store.h"
#include "media/speech_manager.h"
#include "tools/flow_tools.h"
#include "tools/tool_router.h"

namespace velmor::tools {

namespace {

// The process's families and handlers, put together once.
ToolRouter* makeSharedRouter() {
    auto& flowStore = flows::FlowStore::shared();
    ToolFamilies families;
    families.recordStep = flowStepRecorder(flowStore);
    auto* router = new ToolRouter(std::move(families));
    installFlowTools(*router, flowStore, [] { return media::TTSManager::shared().defaultVoice(); });
    return router;
}

}  // namespace

ToolRouter& ToolRouter::shared() {
    static ToolRouter* router = makeSharedRouter();  // lives as long as the process
    return *router;
}

}  // namespace velmor::tools
