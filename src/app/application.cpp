#include "app/application.h"

#include "app/bearer_token.h"
#include "base/json_object_file.h"
#include "base/log.h"
#include "base/paths.h"
#include "app/user_defaults.h"
#include "automation/session_manager.h"
#include "browser/browser_session_manager.h"
#include "tools/registry_tool_family.h"
#include "browser/script_injector.h"
#include "browser/tls_identity.h"
#include "browser/websocket_server.h"
#include "flows/flow_store.h"
#include "mcp/json_rpc.h"
#include "mcp/mcp_server.h"
#include "media/audio_player.h"
#include "media/cloud_providers.h"
#include "media/tts_engine.h"
#include "media/tts_manager.h"
#include "media/window_recorder.h"
#include "platform/desktop.h"
#include "tools/app_control_tools.h"
#include "tools/catalogue.h"
#include "tools/cell_tools.h"
#include "tools/clip_folder.h"
#include "tools/flow_tools.h"
#include "tools/input_tools.h"
#include "tools/recording_tools.h"
#include "tools/screenshot_tool.h"
#include "tools/shortcut_tools.h"
#include "tools/speech_tools.h"
#include "shortcuts/library_watch.h"
#include "shortcuts/shortcut_builder.h"
#include "shortcuts/shortcut_library.h"
#include "tools/tool_router.h"
#include "tools/web_tools.h"

namespace velmor {

namespace {

// Playback, recordings and narration merges use the ffmpeg found on PATH.
constexpr const char* kFfmpegProgram = "ffmpeg";

}  // namespace

Application::Application(Ports ports) : ports_(ports) {}

// Never runs in practice: main() keeps the application until the process ends, because tool
// calls may still be running on worker threads then.
Application::~Application() = default;

Result<void> Application::start() {
    UserDefaults defaults(paths::defaultsFile());
    token_ = loadOrCreateToken(paths::sharedConfigFile(), defaults);

    buildServices();
    accessibilityTrusted_ = desktop_->accessibilityTrusted();
    Log::info("app", std::string("Accessibility trusted: ") + (accessibilityTrusted_ ? "true" : "false"));
    buildToolRouter();
    if (auto complete = router_->registry().checkComplete(); !complete) return complete;
    if (auto serving = startServers(); !serving) return serving;

    // Without the file the bridge cannot find this process; serving goes on for clients
    // configured otherwise.
    if (auto written = writeInternalConfig(token_, ports_.mcp, ports_.wsPlain); written)
        Log::info("app", "Wrote config to ~/.velmor/config.json");
    else
        Log::error("app", "Writing ~/.velmor/config.json failed: " + written.error());
    Log::info("app", "Velmor started on port " + std::to_string(ports_.mcp) + ", WebSocket on " +
                         std::to_string(ports_.ws));
    return succeeded();
}

void Application::buildServices() {
    desktop_ = platform::openDesktop();
    auto& desktop = desktop_->services();
    flowStore_ = std::make_unique<flows::FlowStore>(paths::flowDatabase());
    audioPlayer_ = std::make_unique<media::AudioPlayer>(kFfmpegProgram);
    systemVoice_ = std::make_unique<media::TTSEngine>();
    speech_ = std::make_unique<media::TTSManager>(*systemVoice_, media::makeCloudProviders(*audioPlayer_));
    speech_->loadFromConfig(paths::sharedConfigFile());
    session_ = std::make_unique<automation::SessionManager>(desktop.accessibility, desktop.applications,
                                                            desktop.windows, desktop.input, *flowStore_);
    recorder_ = std::make_unique<media::WindowRecorder>(kFfmpegProgram, paths::videosDirectory(), desktop.windows);
    recorder_->feedFramesFrom(desktop.frames);
    // The window a recording follows is chosen again for each new target.
    session_->setOnSessionStarted([recorder = recorder_.get()] { recorder->clearCachedSelection(); });
    shortcutBuilder_ = std::make_unique<shortcuts::ShortcutBuilder>(paths::besideThisProgram("velmor-shortcuts"),
                                                                    shortcuts::systemTemporaryFolder());
    browserSessions_ = std::make_unique<browser::BrowserSessionManager>();
    browserSessions_->subscribers().setToken(token_);
    // Injected page agents connect back to the plain listener this application serves.
    scriptInjector_ = std::make_unique<browser::ScriptInjector>(
        browser::ScriptInjector::Endpoints{.devToolsPort = ports_.devTools, .agentPort = ports_.wsPlain},
        browserSessions_->agents());
}

void Application::buildToolRouter() {
    tools::ToolFamilies families;
    families.elements = tools::sessionElementTools(*session_);
    families.recordStep = tools::flowStepRecorder(*flowStore_);
    families.browser =
        std::make_shared<tools::RegistryToolFamily>(*browserSessions_, tools::webToolExecutor(*scriptInjector_));
    families.shortcuts = tools::shortcutToolFamily(*shortcutBuilder_, shortcuts::defaultLibraryFolder());
    router_ = std::make_unique<tools::ToolRouter>(std::move(families));
    // A page tool never takes the name of a fixed, element or web tool.
    browserSessions_->agents().setTakenNames(router_->registry().takenForPageTools());
    session_->setReservedToolNames(tools::fixedToolNames());

    auto& desktop = desktop_->services();
    tools::installAppControlTools(*router_, *session_, desktop.windows);
    tools::installInputTools(*router_, *session_,
                             {desktop.input, desktop.windows, desktop.applications, desktop.clipboard, desktop.menus});
    tools::installCellTools(*router_, *session_,
                            {desktop.accessibility, desktop.input, desktop.windows, desktop.applications});
    tools::installScreenshotTool(*router_, *session_, desktop.capture);
    tools::installWebTools(*router_, *scriptInjector_, *browserSessions_);
    tools::installShortcutTools(*router_, *shortcutBuilder_);
    tools::installSpeechTools(*router_, *speech_, paths::sharedConfigFile());
    tools::installFlowTools(*router_, *flowStore_, [speech = speech_.get()] { return speech->defaultVoice(); });
    std::error_code noTemporaryFolder;  // narration is then heard but not mixed
    auto temporaryFolder = std::filesystem::temp_directory_path(noTemporaryFolder);
    tools::removeAbandonedClipFolders(temporaryFolder);
    tools::installRecordingTools(*router_,
                                 {*router_, *session_, *browserSessions_, desktop.menus, *recorder_, *speech_,
                                  *audioPlayer_, kFfmpegProgram, temporaryFolder},
                                 paths::videosDirectory());
}

namespace {

// Only one Velmor of this user runs (see SingleInstance), so a port that is taken is held by
// another program, and clients would reach that one instead.
Failure portTaken(uint16_t port) {
    return fail("port " + std::to_string(port) + " on 127.0.0.1 is already in use by another program");
}

}  // namespace

Result<void> Application::startServers() {
    // Before any port answers: once Velmor is reachable, its identity is already private.
    browser::ensureTlsIdentity(paths::tlsIdentityFile());
    mcpServer_ = std::make_unique<mcp::McpServer>(
        ports_.mcp, token_, [router = router_.get()](std::string_view body, const mcp::RequestChannel& channel) {
            return mcp::handleRequest(*router, body, channel);
        });
    if (!mcpServer_->start()) return portTaken(ports_.mcp);

    // Page agents connect on both ports; the bridge listens for tool changes on the plain one.
    wsServer_ = std::make_unique<browser::WebSocketServer>(ports_.ws, *browserSessions_, paths::tlsIdentityFile());
    if (!wsServer_->start(/*forcePlain=*/false)) return portTaken(ports_.ws);
    wsPlainServer_ = std::make_unique<browser::WebSocketServer>(ports_.wsPlain, *browserSessions_, "");
    if (!wsPlainServer_->start(/*forcePlain=*/true)) return portTaken(ports_.wsPlain);
    // The bridge hears of tool changes through its subscription, HTTP clients on their event
    // streams. The hooks may fire while the servers go; the notifier then does nothing.
    auto& registry = router_->registry();
    tools::connectToolChanges(registry, *browserSessions_, mcpServer_->toolChangeNotifier());
    auto toolsChanged = [&registry] { registry.toolsChanged(); };
    // Element tools come and go with the controlled application, shortcut tools whenever the
    // user's shortcut library changes.
    session_->setOnElementToolsChanged(toolsChanged);
    shortcutWatch_ = std::make_unique<shortcuts::LibraryWatch>(shortcuts::defaultLibraryFolder(), toolsChanged);
    return succeeded();
}

void Application::followTarget(std::function<void(const std::string&)> listener) {
    session_->setOnTargetChanged(std::move(listener));
}

Result<void> writeInternalConfig(const std::string& token, uint16_t mcpPort, uint16_t wsPlainPort) {
    return mergeIntoJsonObjectFile(
        paths::sharedConfigFile(),
        {{config_keys::kToken, token}, {config_keys::kPort, mcpPort}, {config_keys::kWsPort, wsPlainPort}});
}

}  // namespace velmor
