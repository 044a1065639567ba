#include "base/log.h"
#include "base/paths.h"
#include "support/temp_home.h"

#include <filesystem>
#include <gtest/gtest.h>
#include <regex>
#include <sstream>
#include <sys/stat.h>
#include <sys/types.h>
#include <unistd.h>
#include <thread>
#include <vector>

namespace velmor {
namespace {

TEST(LogFile, IsCreatedForItsOwnerAloneInAPrivateFolderAppendedToAndTightenedWhenFoundOpen) {
    test::TempHome home;
    std::string path = home.path() + "/state/velmor/velmor.log";
    ASSERT_TRUE(appendLogEntry(path, "first\n"));
    EXPECT_EQ(test::fileMode(path), 0600u);
    EXPECT_EQ(test::fileMode(home.path() + "/state/velmor"), 0700u);
    ::chmod(path.c_str(), 0644);
    ASSERT_TRUE(appendLogEntry(path, "second\n"));
    EXPECT_EQ(test::fileMode(path), 0600u);
    EXPECT_EQ(test::readFile(path), "first\nsecond\n");

    // Removed while running: made again rather than given up.
    std::filesystem::remove_all(home.path() + "/state");
    ASSERT_TRUE(appendLogEntry(path, "third\n"));
    EXPECT_EQ(test::readFile(path), "third\n");
}

// An entry that would take the file past the limit starts a new file; the one before is
// kept as velmor.log.1 and only one previous file is kept. No entry is split or lost.
TEST(LogFile, IsRotatedBeforeItPassesTheLimitKeepingOnePreviousFile) {
    test::TempHome home;
    std::string path = home.path() + "/velmor.log";
    constexpr size_t kLimit = 100;
    std::string entry(30, 'a');
    entry.back() = '\n';
    std::vector<std::string> written;
    for (int i = 0; i < 7; ++i) {
        std::string numbered = std::to_string(i) + entry.substr(1);
        ASSERT_TRUE(appendLogEntry(path, numbered, kLimit));
        written.push_back(numbered);
    }
    // 3 entries (90 bytes) fit; the fourth starts a file, the seventh another.
    EXPECT_EQ(test::readFile(path), written[6]);
    EXPECT_EQ(test::readFile(path + ".1"), written[3] + written[4] + written[5]);
    EXPECT_FALSE(std::filesystem::exists(path + ".2"));
    EXPECT_EQ(test::fileMode(path), 0600u);
    EXPECT_EQ(test::fileMode(path + ".1"), 0600u);

    // An entry larger than the limit still gets written, alone in its file.
    std::string huge(kLimit * 2, 'h');
    ASSERT_TRUE(appendLogEntry(path, huge, kLimit));
    EXPECT_EQ(test::readFile(path), huge);
    EXPECT_EQ(test::readFile(path + ".1"), written[6]);
}

// A link or another user's file at the log's path would let someone read the log or steer
// where it is written: such a file is never written.
TEST(LogFile, ALinkAFifoOrAForeignFileIsNeverWritten) {
    test::TempHome home;
    std::string victim = home.path() + "/victim";
    test::writeFile(victim, "untouched");
    std::string link = home.path() + "/linked.log";
    std::filesystem::create_symlink(victim, link);
    EXPECT_FALSE(appendLogEntry(link, "entry\n"));
    EXPECT_EQ(test::readFile(victim), "untouched");
    std::string fifo = home.path() + "/fifo.log";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    EXPECT_FALSE(appendLogEntry(fifo, "entry\n"));

    if (::geteuid() != 0) GTEST_SKIP() << "a file of another user can only be made by root";
    std::string foreign = home.path() + "/foreign.log";
    test::writeFile(foreign, "theirs\n");
    ASSERT_EQ(::chown(foreign.c_str(), 65534, 65534), 0);
    ::chmod(foreign.c_str(), 0666);
    EXPECT_FALSE(appendLogEntry(foreign, "entry\n"));
    EXPECT_EQ(test::readFile(foreign), "theirs\n");
}

TEST(LogFile, ControlCharactersAreEscapedSoAValueCannotForgeALine) {
    EXPECT_EQ(escapeControlCharacters("Title\r\n2026-12-05T19:03:00Z [app] forged"),
              "Title\\r\\n2026-12-05T19:03:00Z [app] forged");
    EXPECT_EQ(escapeControlCharacters("a\tb\x1b[31m\x7f c\xc2\x85" "d caf\xc3\xa9"),
              "a\\tb\\x1b[31m\\x7f c\\u0085d caf\xc3\xa9");
}

// The real log file is shared with any running Velmor; these entries are tagged with a
// marker unique to this run and only they are examined.
class LogLines : public ::testing::Test {
protected:
    std::vector<std::string> linesContaining(const std::string& marker) {
        Log::flush();
        std::vector<std::string> lines;
        std::istringstream in(test::readFile(Log::path()));
        for (std::string line; std::getline(in, line);)
            if (line.find(marker) != std::string::npos) lines.push_back(line);
        return lines;
    }
    std::string marker = std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()) + "-" +
                         std::to_string(::getpid()) + "-" + std::to_string(std::time(nullptr));
};

// A value with a line break stays on its line; error lines carry the tag before the category.
TEST_F(LogLines, EachEntryIsOneTimestampedLineTaggedWithItsCategory) {
    EXPECT_EQ(Log::path(), paths::logFile());
    Log::error("mcp", "Listener failed: " + marker);
    Log::info("browser", "Page title: evil\r\n2026-01-01T00:00:00Z [app] forged " + marker);
    auto lines = linesContaining(marker);
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_TRUE(std::regex_match(lines[0], std::regex(R"(\d{4}-\d\d-\d\dT\d\d:\d\d:\d\dZ \[ERROR\]\[mcp\] Listener failed: )" + marker)));
    EXPECT_TRUE(std::regex_match(lines[1], std::regex(R"(\S+Z \[browser\] Page title: evil\\r\\n2026-01-01T00:00:00Z \[app\] forged )" + marker)));
}

TEST_F(LogLines, EntriesFromManyThreadsStayWholeAndKeepEachThreadsOrder) {
    constexpr int kThreads = 8, kEach = 200;
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t)
        threads.emplace_back([&, t] {
            for (int i = 0; i < kEach; ++i) Log::info("test", marker + " t" + std::to_string(t) + " i" + std::to_string(i));
        });
    for (auto& thread : threads) thread.join();
    auto lines = linesContaining(marker);
    ASSERT_EQ(lines.size(), size_t(kThreads * kEach));
    std::vector<int> next(kThreads, 0);
    std::regex shape(R"(\S+Z \[test\] )" + marker + R"( t(\d+) i(\d+))");
    for (const auto& line : lines) {
        std::smatch m;
        ASSERT_TRUE(std::regex_match(line, m, shape)) << line;
        int t = std::stoi(m[1]), i = std::stoi(m[2]);
        EXPECT_EQ(i, next[t]++);
    }
}

}  // namespace
}  // namespace velmor
