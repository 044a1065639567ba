#include "flow_fixture.h"

#include <set>
#include <thread>

using namespace velmor::test;

// Tool calls arrive on several threads at once: every step must be numbered exactly once,
// in the open recording, while readers run alongside.
TEST_F(FlowStoreTest, ParallelStepsAndReadsKeepOneConsistentRecording) {
    saveFlow("existing", "Notes", {"click_a"});
    store.beginRecording("Busy");
    constexpr int kWriters = 8, kStepsEach = 100;
    std::vector<std::thread> threads;
    for (int w = 0; w < kWriters; ++w)
        threads.emplace_back([&] {
            for (int i = 0; i < kStepsEach; ++i) store.recordStep("writer_step", {{"i", i}});
        });
    for (int r = 0; r < 4; ++r)
        threads.emplace_back([&] {
            for (int i = 0; i < 20; ++i) EXPECT_EQ(namesOf(store.listFlows()), Names{"existing"});
        });
    for (auto& thread : threads) thread.join();

    Json ended = store.endRecording("busy").value();
    std::set<int> numbers;
    for (const auto& step : ended.at("steps")) numbers.insert(step.at("step").get<int>());
    EXPECT_EQ(numbers.size(), size_t(kWriters * kStepsEach));
    EXPECT_EQ(*numbers.rbegin(), kWriters * kStepsEach);
    EXPECT_EQ(store.loadFlow("existing").value().at("step_count"), 1);
}
