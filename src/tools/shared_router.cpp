#include "app/paths.h"
#include "automation/session_manager.h"
#include "browser/browser_session_manager.h"
#include "browser/registry_tool_family.h"
#include "browser/script_injector.h"
#include "flows/flow_store.h"
#include "media/speech_manager.h"
#include "platform/linux/linux_desktop.h"
#include "shortcuts/shortcut_library.h"
#include "tools/app_control_tools.h"
#include "tools/catalogue.h"
#include "tools/flow_tools.h"
#include "tools/input_tools.h"
#include "tools/screenshot_tool.h"
#include "tools/shortcut_tools.h"
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
    auto* shortcutBuilder = new shortcuts::ShortcutBuilder(paths::besideThisProgram("velmor-shortcuts"),
                                                           shortcuts::systemTemporaryFolder());
    families.shortcuts = shortcutToolFamily(*shortcutBuilder, shortcuts::defaultLibraryFolder());
    auto* router = new ToolRouter(std::move(families));
    auto& desktop = platform::linuxDesktop();
    installAppControlTools(*router, session, desktop.windows);
    installInputTools(*router, session,
                      {desktop.input, desktop.windows, desktop.applications, desktop.clipboard, desktop.menus});
    installScreenshotTool(*router, session, desktop.capture);
    installWebTools(*router, *injector, browserSessions);
    installShortcutTools(*router, *shortcutBuilder);
    installFlowTools(*router, flowStore, [] { return media::TTSManager::shared().defaultVoice(); });
    return router;
}

}  // namespace

ToolRouter& ToolRouter::shared() {
    static ToolRouter* router = makeSharedRouter();  // lives as long as the process
    return *router;
}

}  // namespace velmor::tools
