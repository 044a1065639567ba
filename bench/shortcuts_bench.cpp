// A library of 50 shortcuts in a temporary HOME: times tools/list once the listing has been
// read, and run_shortcut of a shortcut of three actions (text, shell script, show result).
#include "bench_stats.h"
#include "shortcuts/shortcut_builder.h"
#include "shortcuts/shortcut_file.h"
#include "shortcuts/shortcut_library.h"
#include "support/temp_home.h"
#include "tools/shortcut_tools.h"
#include "tools/tool_router.h"

#include <cstdio>
#include <fcntl.h>
#include <filesystem>
#include <sys/stat.h>

using velmor::bench::millisecondsSince;
using velmor::bench::summarise;
using Clock = std::chrono::steady_clock;
using namespace velmor;

int main() {
    test::TempHome home;
    const std::string library = shortcuts::defaultLibraryFolder();
    std::filesystem::create_directories(library);
    auto bytes = shortcuts::shortcutFileBytes({
        {"is.workflow.actions.gettext", {{"WFTextActionText", shortcuts::textToken("good morning")}}},
        {"is.workflow.actions.runscript", {{"WFShellScript", "tr a-z A-Z"}, {"Shell", "/bin/sh"}}},
        {"is.workflow.actions.showresult", {{"Text", shortcuts::textToken("{{input}}")}}},
    });
    if (!bytes) return 1;
    for (int i = 0; i < 50; ++i) test::writeFile(library + "/Shortcut number " + std::to_string(i) + ".shortcut", *bytes);
    // A listing read right after a change is not kept; this library changed long ago.
    timespec past[2] = {{::time(nullptr) - 60, 0}, {::time(nullptr) - 60, 0}};
    ::utimensat(AT_FDCWD, library.c_str(), past, 0);

    shortcuts::ShortcutBuilder builder(VELMOR_SHORTCUTS_BINARY, shortcuts::systemTemporaryFolder());
    tools::ToolFamilies families;
    families.shortcuts = tools::shortcutToolFamily(builder, library);
    tools::ToolRouter router(std::move(families));
    tools::installShortcutTools(router, builder);

    auto first = Clock::now();
    size_t listed = router.allTools().size();
    std::printf("tools/list, first (reads the listing): %.2f ms, %zu tools\n", millisecondsSince(first), listed);
    std::vector<double> lists;
    for (int i = 0; i < 500; ++i) {
        auto start = Clock::now();
        listed = router.allTools().size();
        lists.push_back(millisecondsSince(start));
    }
    std::printf("%s\n", summarise("tools/list with 50 shortcuts", lists).c_str());

    std::vector<double> runs;
    for (int i = 0; i < 30; ++i) {
        auto start = Clock::now();
        auto ran = router.callTool("run_shortcut", {{"name", "Shortcut number 7"}}).result();
        runs.push_back(millisecondsSince(start));
        if (ran.value("output", "") != "GOOD MORNING") {
            std::fprintf(stderr, "unexpected answer: %s\n", ran.dump().c_str());
            return 1;
        }
    }
    std::printf("%s\n", summarise("run_shortcut (text, shell script, show result)", runs).c_str());
    return listed == 90 ? 0 : 1;
}
