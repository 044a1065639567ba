// Which connection gives way when a listener is full.
#include "net/connection_limit.h"

#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace velmor::net {
namespace {

using Slot = std::unique_ptr<ConnectionLimit::Slot>;

TEST(ConnectionLimit, WithoutDisplacingTheNextIsRefusedUntilOneEnds) {
    ConnectionLimit limit(2, /*newcomersDisplaceWaiting=*/false);
    Slot a = limit.claim(), b = limit.claim();
    ASSERT_TRUE(a && b);
    EXPECT_FALSE(limit.claim());
    a.reset();
    EXPECT_TRUE(limit.claim());
}

TEST(ConnectionLimit, AnsweredConnectionsGiveWayFirstThenTheLongestWaitingAndBusyOnesNeverAndUncounted) {
    ConnectionLimit limit(2, /*newcomersDisplaceWaiting=*/true);
    std::vector<std::string> closed;
    auto admit = [&](const std::string& name) {
        Slot slot = limit.claim();
        if (slot) slot->onDisplaced([&closed, name] { closed.push_back(name); });
        return slot;
    };
    Slot a = admit("a"), b = admit("b");
    b->markBusy();  // its bound is the work's now
    EXPECT_EQ(limit.open(), 1u);
    Slot c = admit("c");
    Slot d = admit("d");  // full: "a" has waited longest
    EXPECT_EQ(closed, (std::vector<std::string>{"a"}));

    b->markFinished();  // answered, counted again, and first to go
    c->markBusy();
    Slot e = admit("e");
    EXPECT_EQ(closed, (std::vector<std::string>{"a", "b"}));
    EXPECT_EQ(limit.open(), 2u);

    // Slots of displaced connections are already given back; their ending changes nothing.
    a.reset();
    b.reset();
    EXPECT_EQ(limit.open(), 2u);
    d.reset();
    EXPECT_EQ(limit.open(), 1u);
    c.reset();  // busy: was not counted
    EXPECT_EQ(limit.open(), 1u);
}

}  // namespace
}  // namespace velmor::net
