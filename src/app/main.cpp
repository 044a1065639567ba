// velmor: the MCP server that lets an AI agent operate this desktop.
#include "app/application.h"
#include "app/shell/desktop_shell.h"
#include "app/single_instance.h"
#include "base/log.h"
#include "base/paths.h"
#include "base/standard_streams.h"
#include "base/version.h"
#include "net/open_file_limit.h"

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <malloc.h>
#include <thread>

namespace {

constexpr const char* kUsage =
    "Usage: velmor [-h | --help | --version]\n"
    "\n"
    "Velmor is a Model Context Protocol server that lets an AI agent operate this desktop.\n"
    "It serves MCP over Streamable HTTP at http://127.0.0.1:19820/mcp (bearer token required);\n"
    "MCP clients reach it there or through the stdio program velmor-bridge. Page agents\n"
    "injected into browser tabs connect back on 127.0.0.1:19821 (wss://, or ws:// without a\n"
    "TLS identity) and 19822 (ws://).\n"
    "Web tools drive Chromium or Chrome started with --remote-debugging-port=9222.\n"
    "\n"
    "Files:\n"
    "  ~/.velmor/config.json            the bearer token and ports for velmor-bridge,\n"
    "                                   speech settings\n"
    "  ~/.config/velmor/defaults.json   preferences (setup guide done)\n"
    "  ~/.local/share/velmor/flows.db   recorded flows (readable by you alone)\n"
    "  ~/.local/share/velmor/server.p12 the wss:// identity, generated at first start\n"
    "  ~/.local/share/velmor/screen-cast-token\n"
    "                                   GNOME's kept consent to the screen cast (through\n"
    "                                   the desktop portal)\n"
    "  ~/.local/state/velmor/velmor.log the log (also sent to the system log); the one\n"
    "                                   before is velmor.log.1 (rotated at 10 MiB)\n"
    "  ~/Videos/velmor-demo-*.mp4       recordings, in XDG_VIDEOS_DIR of\n"
    "                                   ~/.config/user-dirs.dirs when set, else in ~/Videos\n"
    "                                   when it exists, else in your home folder\n"
    "\n"
    "  ~/.config/autostart/velmor.desktop  present while \"Start at Login\" is chosen\n"
    "\n"
    "  $XDG_RUNTIME_DIR/velmor/         the lock that keeps Velmor to one per user, and the\n"
    "                                   socket a second start asks for the setup guide on\n"
    "                                   (/tmp/velmor-<uid> without XDG_RUNTIME_DIR)\n"
    "\n"
    "Environment:\n"
    "  VELMOR_GNOME_PORTAL=1            on GNOME, reach the keyboard, pointer and screen\n"
    "                                   through the desktop portal, which asks you first,\n"
    "                                   even where mutter's own services answer\n"
    "\n"
    "With a display, Velmor shows its menu in the desktop's tray (Copy MCP Config, Settings,\n"
    "Setup Guide, Start at Login) and the setup guide at its first start; without one it runs\n"
    "headless. It runs until \"Quit Velmor\" is chosen or it receives SIGINT, SIGTERM or SIGHUP.\n"
    "\n"
    "One Velmor runs per user: started again, it says that Velmor is already running, shows\n"
    "the running one's setup guide (with a display) and exits with status 0. When one of its\n"
    "ports is taken by another program, it says which and exits with status 1.\n";

// Tool calls may still be running on worker threads; they hold nothing that needs saving,
// so the process ends without waiting for them.
[[noreturn]] void stop(const std::string& why) {
    velmor::Log::info("app", "Stopping on " + why);
    velmor::Log::flush();
    std::_Exit(0);
}

[[noreturn]] void stopOnSignal(sigset_t signals) {
    int received = 0;
    sigwait(&signals, &received);
    stop(received == SIGINT ? "SIGINT" : received == SIGHUP ? "SIGHUP" : "SIGTERM");
}

[[noreturn]] void failToStart(const std::string& why) {
    velmor::Log::error("app", "Cannot start: " + why);
    velmor::Log::flush();
    std::fprintf(stderr, "velmor: %s\n", why.c_str());
    std::_Exit(1);
}

}  // namespace

int main(int argc, char** argv) {
    velmor::fillClosedStandardStreams();
    if (argc > 1) {
        if (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0) {
            std::fputs(kUsage, stdout);
            return 0;
        }
        if (std::strcmp(argv[1], "--version") == 0) {
            std::printf("velmor %s\n", velmor::kVersion);
            return 0;
        }
        std::fprintf(stderr, "velmor: unknown argument '%s'\n\n%s", argv[1], kUsage);
        return 2;
    }

    // Tool calls run on many short-lived threads; with an allocator arena per thread the
    // memory of a burst of requests stays resident long after it. Two arenas serve two
    // cores as fast and let idle memory go back to the system.
    mallopt(M_ARENA_MAX, 2);

    // Every thread started from here on inherits the blocked signals; only this thread
    // takes them, through sigwait.
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGINT);
    sigaddset(&stopSignals, SIGTERM);
    // Closing the terminal Velmor was started from ends it, in the same order.
    sigaddset(&stopSignals, SIGHUP);
    pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);
    std::signal(SIGPIPE, SIG_IGN);

    // Before any server, window or thread (the log's writer too, so that a second start
    // leaves by a plain return): a second Velmor of this user would only find the ports
    // taken and put a second icon in the tray.
    auto instance = velmor::SingleInstance::claim(velmor::paths::runtimeDirectory());
    if (!instance) {
        velmor::Log::error("app", "Cannot make sure that Velmor runs once: " + instance.error());
    } else if (instance->state() == velmor::SingleInstance::Claim::heldByAnother) {
        const char* display = std::getenv("DISPLAY");
        bool shown = display && *display && instance->askToShowGuide();
        std::puts(shown ? "Velmor is already running; its setup guide is open." : "Velmor is already running.");
        return 0;
    }

    // Every listener bounds its own connections; the soft default of 1,024 descriptors
    // would otherwise be the tighter bound, shared by all of them.
    velmor::Log::info("app", velmor::net::raiseOpenFileLimit());

    // The display is opened before any thread starts; the main thread then belongs to the
    // desktop shell's main loop.
    const bool desktop = velmor::shell::openDisplay(argc, argv);

    auto* application = new velmor::Application();  // lives until the process ends
    if (auto started = application->start(); !started) failToStart(started.error());
    if (!desktop) stopOnSignal(stopSignals);

    std::thread(stopOnSignal, stopSignals).detach();
    velmor::shell::ShellSettings shell;
    shell.status.mcpPort = application->ports().mcp;
    shell.status.wsPort = application->ports().ws;
    shell.status.accessibilityGranted = application->accessibilityTrusted();
    shell.devToolsPort = application->ports().devTools;
    shell.defaultsFile = velmor::paths::defaultsFile();
    shell.sharedConfigFile = velmor::paths::sharedConfigFile();
    shell.speech = &application->speech();
    shell.desktop = &application->desktop();
    shell.quit = [] { stop("Quit Velmor"); };
    shell.followTarget = [application](auto listener) { application->followTarget(std::move(listener)); };
    auto* desktopShell = new velmor::shell::DesktopShell(std::move(shell));  // lives until the process ends
    if (instance) {
        auto serving = instance->serveGuideRequests([desktopShell] { desktopShell->requestGuide(); });
        if (!serving) velmor::Log::error("app", "Other starts cannot ask for the setup guide: " + serving.error());
    }
    desktopShell->run();
    stop("the end of the main loop");
}
