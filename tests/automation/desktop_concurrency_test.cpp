// Session calls arriving on several threads at once, as they do over HTTP.
#include "desktop_test.h"

#include <atomic>
#include <mutex>
#include <thread>
#include <vector>

namespace velmor::test {
namespace {

using nlohmann::json;

class DesktopConcurrency : public DesktopTest {};

TEST_F(DesktopConcurrency, ParallelCallsKeepTheSessionConsistent) {
    start();
    constexpr int kRounds = 4;
    std::atomic<int> failures{0};
    std::vector<json> toggles;
    std::mutex togglesMutex;
    auto failed = [&](const json& answer) {
        if (answer.contains("error")) ++failures;
    };

    std::vector<std::thread> threads;
    threads.emplace_back([&] {
        for (int i = 0; i < kRounds; ++i) {
            json answer = call("toggle_wrap_lines");
            failed(answer);
            std::lock_guard guard(togglesMutex);
            toggles.push_back(answer);
        }
    });
    threads.emplace_back([&] {
        for (int i = 0; i < kRounds; ++i) failed(call("click_ok"));
    });
    threads.emplace_back([&] {
        for (int i = 0; i < kRounds; ++i) failed(call("get_page_info"));
    });
    threads.emplace_back([&] {
        for (int i = 0; i < kRounds * 4; ++i) router.allTools();
    });
    for (auto& thread : threads) thread.join();
    EXPECT_EQ(failures, 0);

    // Each toggle's diff starts from the value the one before left.
    std::string expectedOld = "0";
    for (const auto& answer : toggles) {
        json change;
        for (const auto& entry : answer.value("changed", json::array())) {
            if (entry.at("tool") == "toggle_wrap_lines") change = entry;
        }
        ASSERT_FALSE(change.is_null()) << answer.dump();
        EXPECT_EQ(change.at("old_value"), expectedOld);
        expectedOld = change.at("new_value");
    }
    EXPECT_EQ(expectedOld, "0");

    json ended = call("session_end", {{"save_as", "parallel"}});
    EXPECT_EQ(ended.at("flow").at("step_count"), 2 * kRounds) << ended.dump();
}

}  // namespace
}  // namespace velmor::test
