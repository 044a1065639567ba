#include "automation/session_manager.h"
#include "browser/browser_session_manager.h"
#include "browser/registry_tool_family.h"
#include "browser/script_injector.h"
#include "flows/flow_store.h"
#include "base/paths.h"
#include "media/cloud_providers.h"
#include "media/tts_manager.h"
#include "platform/linux/linux_desktop.h"
#include "tools/app_control_tools.h"
#include "tools/catalogue.h"
#include "tools/flow_tools.h"
#include "tools/input_tools.h"
#include "tools/screenshot_tool.h"
#include "tools/shared_speech.h"
#include "tools/speech_tools.h"
#include "tools/web_tools.h"
#include "tools/tool_router.h"

namespace velmor::tools {

namespace {

// The process's families and handlers, put together once.
ToolRouter* makeSharedRouter() {
    auto& flowStore = flows::FlowStore::shared();
    ToolFamilies families;
    auto& session = automation::SessionManager::shared();
    families.elements = sessionElementTools(session);
    families.recordStep = flowStepRecorder(flowStore);
    auto& browserSessions = browser::BrowserSessionManager::shared();
    auto* injector = new browser::ScriptInjector();  // lives as long as the process, like the router
    families.browser = std::make_shared<browser::RegistryToolFamily>(browserSessions, webToolExecutor(*injector));
    // A page tool never takes the name of a fixed tool or of an element tool.
    browserSessions.setOtherToolNames([elements = families.elements] {
        std::vector<std::string> names = fixedToolNames();
        for (const auto& element : elements->elementTools()) names.push_back(element.toolName);
        return names;
    });
    auto* router = new ToolRouter(std::move(families));
    auto& desktop = platform::linuxDesktop();
    installAppControlTools(*router, session, desktop.windows);
    installInputTools(*router, session,
                      {desktop.input, desktop.windows, desktop.applications, desktop.clipboard, desktop.menus});
    installScreenshotTool(*router, session, desktop.capture);
    installWebTools(*router, *injector, browserSessions);
    auto* speech = &sharedSpeech();
    installSpeechTools(*router, *speech, paths::sharedConfigFile());
    installFlowTools(*router, flowStore, [speech] { return speech->defaultVoice(); });
    return router;
}

}  // namespace

media::TTSManager& sharedSpeech() {
    // Speech lives as long as the process; its settings load as it is first needed, at
    // start-up. The tools and the settings window share it.
    static media::TTSManager* speech = [] {
        auto* player = new media::AudioPlayer();
        auto* manager = new media::TTSManager(*new media::TTSEngine(), media::makeCloudProviders(*player));
        manager->loadFromConfig(paths::sharedConfigFile());
        return manager;
    }();
    return *speech;
}

ToolRouter& ToolRouter::shared() {
    static ToolRouter* router = makeSharedRouter();  // lives as long as the process
    return *router;
}

}  // namespace velmor::tools
