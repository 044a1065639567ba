#include "base/log.h"
#include "support/temp_home.h"

#include <filesystem>
#include <gtest/gtest.h>
#include <regex>
#include <sstream>
#include <sys/stat.h>
#include <unistd.h>
#include <thread>
#include <vector>

namespace velmor {
namespace {

TEST(LogFile, IsCreatedForItsOwnerAloneAppendedToAndTightenedWhenFoundOpen) {
    test::TempHome home;
    std::string path = home.path() + "/velmor.log";
    ASSERT_TRUE(appendLogEntry(path, "first\n"));
    EXPECT_EQ(test::fileMode(path), 0600u);
    ::chmod(path.c_str(), 0644);
    ASSERT_TRUE(appendLogEntry(path, "second\n"));
    EXPECT_EQ(test::fileMode(path), 0600u);
    EXPECT_EQ(test::readFile(path), "first\nsecond\n");
}

// A link or another user's file at the shared path would let someone read the log or
// steer where it is written; the log goes to the private run-time folder instead.
TEST(LogFile, ALinkOrAForeignFileIsRefusedForThePrivateRuntimeFolder) {
    test::TempHome home;
    std::string runtime = home.path() + "/run";
    std::filesystem::create_directories(runtime);

    std::string victim = home.path() + "/victim";
    test::writeFile(victim, "untouched");
    std::string link = home.path() + "/linked.log";
    std::filesystem::create_symlink(victim, link);
    EXPECT_FALSE(appendLogEntry(link, "entry\n"));
    EXPECT_EQ(test::readFile(victim), "untouched");
    LogFileChoice choice = chooseLogFile(link, runtime.c_str());
    EXPECT_EQ(choice.path, runtime + "/velmor.log");
    EXPECT_EQ(choice.refusal, "it is a symbolic link");
    EXPECT_EQ(chooseLogFile(link, nullptr).path, "");

    std::string own = home.path() + "/own.log";
    EXPECT_EQ(chooseLogFile(own, runtime.c_str()).path, own);  // not there yet: created privately
    EXPECT_EQ(chooseLogFile(home.path(), runtime.c_str()).refusal, "it is not a regular file");

    if (::geteuid() != 0) GTEST_SKIP() << "a file of another user can only be made by root";
    std::string foreign = home.path() + "/foreign.log";
    test::writeFile(foreign, "theirs\n");
    ASSERT_EQ(::chown(foreign.c_str(), 65534, 65534), 0);
    ::chmod(foreign.c_str(), 0666);
    EXPECT_FALSE(appendLogEntry(foreign, "entry\n"));
    EXPECT_EQ(test::readFile(foreign), "theirs\n");
    choice = chooseLogFile(foreign, runtime.c_str());
    EXPECT_EQ(choice.path, runtime + "/velmor.log");
    EXPECT_EQ(choice.refusal, "it belongs to another user");
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
