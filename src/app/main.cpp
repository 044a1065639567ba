// velmor: the MCP server that lets an AI agent operate this desktop.
#include "app/application.h"
#include "app/shell/desktop_shell.h"
#include "base/log.h"
#include "base/paths.h"
#include "base/standard_streams.h"
#include "net/open_file_limit.h"

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <malloc.h>
#include <thread>

namespace {

constexpr const char* kUsage =
    "Usage: velmor [--help | --version]\n"
    "\n"
    "Velmor is a Model Context Protocol server that lets an AI agent operate this desktop.\n"
    "It serves MCP over Streamable HTTP at http://127.0.0.1:19820/mcp (bearer token required);\n"
    "MCP clients reach it there or through the stdio program velmor-bridge. Page agents\n"
    "injected into browser tabs connect back on 127.0.0.1:19821 (wss://, or ws:// without a\n"
    "TLS identity) and 19822 (ws://).\n"
    "Web tools drive Chromium or Chrome started with --remote-debugging-port=9222.\n"
    "\n"
    "Files:\n"
    "  ~/.velmor/config.json            token and ports for velmor-bridge, speech settings\n"
    "  ~/.config/velmor/defaults.json   the bearer token and other preferences\n"
    "  ~/.local/share/velmor/flows.db   recorded flows (readable by you alone)\n"
    "  ~/.local/share/velmor/server.p12 the wss:// identity, generated at first start\n"
    "  /tmp/velmor.log                  the log (also sent to the system log); when that\n"
    "                                   path is a link or another user's file, the log\n"
    "                                   goes to $XDG_RUNTIME_DIR/velmor.log\n"
    "\n"
    "  ~/.config/autostart/velmor.desktop  present while \"Start at Login\" is chosen\n"
    "\n"
    "With a display, Velmor shows its menu in the desktop's tray (Copy MCP Config, Settings,\n"
    "Setup Guide, Start at Login) and the setup guide at its first start; without one it runs\n"
    "headless. It runs until \"Quit Velmor\" is chosen or it receives SIGINT or SIGTERM.\n";

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
    stop(received == SIGINT ? "SIGINT" : "SIGTERM");
}

}  // namespace

int main(int argc, char** argv) {
    velmor::fillClosedStandardStreams();
    if (argc > 1) {
        if (std::strcmp(argv[1], "--help") == 0) {
            std::fputs(kUsage, stdout);
            return 0;
        }
        if (std::strcmp(argv[1], "--version") == 0) {
            std::puts("velmor 1.0.0");
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
    pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);
    std::signal(SIGPIPE, SIG_IGN);

    // Every listener bounds its own connections; the soft default of 1,024 descriptors
    // would otherwise be the tighter bound, shared by all of them.
    velmor::Log::info("app", velmor::net::raiseOpenFileLimit());

    // The display is opened before any thread starts; the main thread then belongs to the
    // desktop shell's main loop.
    const bool desktop = velmor::shell::openDisplay(argc, argv);

    auto* application = new velmor::Application();  // lives until the process ends
    application->start();
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
    auto* desktopShell = new velmor::shell::DesktopShell(std::move(shell));  // lives until the process ends
    desktopShell->run();
    stop("the end of the main loop");
}
