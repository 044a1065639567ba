#include "bridge/reconnect_backoff.h"

#include <gtest/gtest.h>
#include <set>

namespace velmor::bridge {
namespace {

using std::chrono::milliseconds;

void expectWithinJitter(milliseconds delay, int baseSeconds) {
    EXPECT_GE(delay, milliseconds(baseSeconds * 1000));
    EXPECT_LE(delay, milliseconds(baseSeconds * 1000 + 500));
}

// Bridges started together must not retry in lock step: the half second of jitter varies.
TEST(ReconnectBackoff, DoublesUpToThirtySecondsWithJitterAndStartsOverAfterAConnection) {
    ReconnectBackoff backoff;
    for (int base : {1, 2, 4, 8, 16, 30, 30, 30}) expectWithinJitter(backoff.nextDelay(), base);
    backoff.reset();
    expectWithinJitter(backoff.nextDelay(), 1);
    expectWithinJitter(backoff.nextDelay(), 2);

    std::set<long long> jitters;
    for (int i = 0; i < 20; ++i) {
        backoff.reset();
        jitters.insert(backoff.nextDelay().count());
    }
    EXPECT_GT(jitters.size(), 1u);
}

}  // namespace
}  // namespace velmor::bridge
