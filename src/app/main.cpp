// velmor: the MCP server that lets an AI agent operate this desktop.
#include "app/application.h"
#include "base/log.h"
#include "net/open_file_limit.h"

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <malloc.h>

namespace {

constexpr const char* kUsage =
    "Usage: velmor [--help | --version]\n"
    "\n"
    "Velmor is a Model Context Protocol server that lets an AI agent operate this desktop.\n"
    "It serves MCP over HTTP on 127.0.0.1:19820 (bearer token required); MCP clients reach it\n"
    "through the stdio program velmor-bridge. Page agents injected into browser tabs connect\n"
    "back on 127.0.0.1:19821 (wss://, or ws:// without a TLS identity) and 19822 (ws://).\n"
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
    "Velmor runs until it receives SIGINT or SIGTERM.\n";

}  // namespace

int main(int argc, char** argv) {
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

    auto* application = new velmor::Application();  // lives until the process ends
    application->start();

    int received = 0;
    sigwait(&stopSignals, &received);
    velmor::Log::info("app", std::string("Stopping on ") + (received == SIGINT ? "SIGINT" : "SIGTERM"));
    velmor::Log::flush();
    // Tool calls may still be running on worker threads; they hold nothing that needs
    // saving, so the process ends without waiting for them.
    std::_Exit(0);
}
