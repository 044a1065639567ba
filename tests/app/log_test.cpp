#include "app/log.h"
#include "support/temp_home.h"

#include <filesystem>
#include <gtest/gtest.h>
#include <regex>
#include <sstream>
#include <thread>
#include <vector>

namespace velmor {
namespace {

TEST(LogFile, CreatesTheFileWithTheFirstEntryAndAppendsLaterOnes) {
    test::TempHome home;
    std::string path = home.path() + "/velmor.log";
    appendLogEntry(path, "first\n");
    EXPECT_EQ(test::readFile(path), "first\n");
    appendLogEntry(path, "second\n");
    EXPECT_EQ(test::readFile(path), "first\nsecond\n");
}

TEST(LogFile, NeverFollowsASymbolicLinkPlantedAtItsPath) {
    test::TempHome home;
    std::string victim = home.path() + "/victim";
    test::writeFile(victim, "untouched");
    std::string path = home.path() + "/velmor.log";
    std::filesystem::create_symlink(victim, path);
    appendLogEntry(path, "entry\n");
    EXPECT_EQ(test::readFile(victim), "untouched");
}

TEST(LogFile, TimestampsAreIso8601UtcWithWholeSeconds) {
    EXPECT_TRUE(std::regex_match(isoTimestampNow(), std::regex(R"(\d{4}-\d\d-\d\dT\d\d:\d\d:\d\dZ)")));
}

// The real log file is shared with any running Velmor; these entries are tagged with a
// marker unique to this run and only they are examined.
class LogLines : public ::testing::Test {
protected:
    std::vector<std::string> linesContaining(const std::string& marker) {
        Log::flush();
        std::vector<std::string> lines;
        std::istringstream in(test::readFile(Log::kPath));
        for (std::string line; std::getline(in, line);)
            if (line.find(marker) != std::string::npos) lines.push_back(line);
        return lines;
    }
    std::string marker = std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()) + "-" +
                         std::to_string(::getpid()) + "-" + std::to_string(std::time(nullptr));
};

TEST_F(LogLines, ErrorLinesCarryTheErrorTagBeforeTheCategory) {
    Log::error("mcp", "Listener failed: " + marker);
    Log::info("app", "started " + marker);
    auto lines = linesContaining(marker);
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_TRUE(std::regex_match(lines[0], std::regex(R"(\d{4}-\d\d-\d\dT\d\d:\d\d:\d\dZ \[ERROR\]\[mcp\] Listener failed: )" + marker)));
    EXPECT_TRUE(std::regex_match(lines[1], std::regex(R"(\S+Z \[app\] started )" + marker)));
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
