#include "base/child_process.h"
#include "base/child_run.h"
#include "support/eventually.h"

#include <gtest/gtest.h>

#include <csignal>
#include <fcntl.h>
#include <fstream>
#include <sstream>
#include <unistd.h>

namespace velmor {
namespace {

using namespace std::chrono_literals;

// Gone, or a zombie waiting for whoever inherited it.
bool ended(pid_t pid) {
    std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
    std::string pidField, name, state;
    return !(stat >> pidField >> name >> state) || state == "Z";
}

TEST(ChildRun, FeedsInputWhileReadingOutputAndReportsTheExitStatus) {
    // More input than a pipe holds, echoed back while being written: neither side may wait
    // for the other. Only the first kilobyte of output is kept.
    std::string input(1 << 20, 'x');
    auto echoed = runChild({"sh", "-c", "cat; echo '  something went wrong  ' >&2; exit 3"},
                           {.input = input, .outputLimit = 1000}, 20s);
    EXPECT_TRUE(echoed.started);
    EXPECT_FALSE(echoed.timedOut);
    EXPECT_EQ(echoed.status, 3);
    EXPECT_EQ(echoed.output, input.substr(0, 1000));
    EXPECT_EQ(echoed.errors, "something went wrong");
    EXPECT_EQ(echoed.lastErrorLine, "  something went wrong");

    // A program that never reads its input must not take this process down with SIGPIPE.
    auto deaf = runChild({"true"}, {.input = std::string(8 << 20, 'y')}, 20s);
    EXPECT_EQ(deaf.status, 0);

    auto missing = runChild({"velmor-no-such-program"});
    EXPECT_FALSE(missing.started);
    EXPECT_EQ(missing.status, -1);
    EXPECT_EQ(missing.errors, "cannot start velmor-no-such-program: No such file or directory");
    auto notExecutable = ChildProcess::start({"/etc/passwd"});
    ASSERT_FALSE(notExecutable.ok());
    EXPECT_EQ(notExecutable.error(), "Permission denied");
}

TEST(ChildRun, TheLimitEndsTheWholeProcessGroupAndSaysSo) {
    auto slow = runChild({"/bin/sh", "-c", "sleep 30 & echo $!; echo waiting >&2; wait"}, {}, 1s);
    EXPECT_TRUE(slow.started);
    EXPECT_TRUE(slow.timedOut);
    EXPECT_EQ(slow.status, -1);
    EXPECT_EQ(slow.errors, "/bin/sh did not finish within 1 s: waiting");
    pid_t grandchild = std::stoi(slow.output);
    EXPECT_TRUE(test::eventually([&] { return ended(grandchild); }));
}

TEST(ChildRun, ASignalIsMinusOneToARunButOneHundredTwentyEightPlusItsNumberToAStartedChild) {
    EXPECT_EQ(runChild({"sh", "-c", "kill -TERM $$"}).status, -1);
    auto child = ChildProcess::start({"sh", "-c", "kill -TERM $$"});
    ASSERT_TRUE(child.ok()) << child.error();
    EXPECT_EQ((*child)->waitForExit(), 128 + SIGTERM);
    EXPECT_TRUE((*child)->endedBySignal());
}

// A child has a process group of its own, default signal handling and only its three
// standard streams, whatever this process ignores, blocks or has open.
TEST(ChildRun, AChildStartsCleanInAGroupOfItsOwn) {
    int leaked = ::open("/dev/null", O_RDONLY);  // no close-on-exec
    ASSERT_GE(leaked, 3);
    auto previous = std::signal(SIGINT, SIG_IGN);
    sigset_t hup, mask;
    sigemptyset(&hup);
    sigaddset(&hup, SIGHUP);
    pthread_sigmask(SIG_BLOCK, &hup, &mask);
    auto seen = runChild({"sh", "-c",
                          "echo $$ $(cut -d' ' -f5 /proc/$$/stat); test -e /proc/$$/fd/" + std::to_string(leaked) +
                              " && echo leaked; exec grep -E '^Sig(Ign|Blk)' /proc/self/status"},
                         {}, 20s);
    pthread_sigmask(SIG_SETMASK, &mask, nullptr);
    std::signal(SIGINT, previous);
    ::close(leaked);

    ASSERT_EQ(seen.status, 0) << seen.errors;
    std::istringstream lines(seen.output);
    std::string pid, group, rest;
    lines >> pid >> group;
    std::getline(lines, rest, '\0');
    EXPECT_EQ(pid, group);
    EXPECT_EQ(rest, "\nSigBlk:\t0000000000000000\nSigIgn:\t0000000000000000\n");
}

// A long-running child that ends with this process (behind a guardian that must pass on
// its streams, signals and status): talked to while it runs, signalled, and killed and
// reaped when its owner lets go of it.
TEST(ChildProcess, RunsUntilToldAndIsKilledWhenAbandoned) {
    const ChildOptions endsWithUs{.parentDeathSignal = SIGINT};
    EXPECT_EQ(runChild({"sh", "-c", "exit 3"}, endsWithUs).status, 3);
    auto started =
        ChildProcess::start({"sh", "-c", "read line; echo got $line >&2; echo done; exec sleep 30"}, endsWithUs);
    ASSERT_TRUE(started.ok()) << started.error();
    auto& child = **started;
    EXPECT_FALSE(child.waitForExit(50ms));
    EXPECT_TRUE(child.sendInput("q\n"));
    EXPECT_TRUE(test::eventually([&] { return child.wroteOutput(); }));
    EXPECT_EQ(child.lastErrorLine(), "got q");
    EXPECT_EQ(child.output(), "done\n");
    pid_t pid = child.pid();
    started->reset();
    EXPECT_EQ(::kill(pid, 0), -1);

    auto interrupted = ChildProcess::start({"sleep", "30"}, endsWithUs);
    ASSERT_TRUE(interrupted.ok());
    (*interrupted)->signal(SIGINT);
    EXPECT_EQ((*interrupted)->waitForExit(10s), 128 + SIGINT);
}

}  // namespace
}  // namespace velmor
