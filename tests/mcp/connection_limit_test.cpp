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

TEST(ConnectionLimit, AnsweredConnectionsGiveWayFirstThenTheLongestWaitingAndBusyOnesNever) {
    ConnectionLimit limit(3, /*newcomersDisplaceWaiting=*/true);
    std::vector<std::string> closed;
    auto admit = [&](const std::string& name) {
        Slot slot = limit.claim();
        if (slot) slot->onDisplaced([&closed, name] { closed.push_back(name); });
        return slot;
    };
    Slot waitingOld = admit("waiting-old"), busy = admit("busy"), answered = admit("answered");
    busy->markBusy();
    answered->markBusy();
    answered->markFinished();

    Slot first = admit("first");
    Slot second = admit("second");
    Slot third = admit("third");  // only "busy" and these newcomers are left: "first" waited longest
    EXPECT_EQ(closed, (std::vector<std::string>{"answered", "waiting-old", "first"}));
    EXPECT_EQ(limit.open(), 3u);

    second->markBusy();
    third->markBusy();
    EXPECT_FALSE(admit("refused")) << "every open connection is working";
    // Slots of displaced connections are already given back; their ending changes nothing.
    waitingOld.reset();
    first.reset();
    EXPECT_EQ(limit.open(), 3u);
    busy.reset();
    EXPECT_EQ(limit.open(), 2u);
}

}  // namespace
}  // namespace velmor::net
