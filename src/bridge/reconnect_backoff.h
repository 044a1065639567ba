#pragma once

#include <chrono>
#include <random>

namespace velmor::bridge {

// Waits between WebSocket connection attempts: 1, 2, 4, 8, 16, then 30 seconds for good,
// each stretched by up to half a second at random so that several bridges started
// together do not knock on the application in step.
class ReconnectBackoff {
public:
    ReconnectBackoff();

    // The wait before the next attempt; doubles the base for the attempt after it.
    std::chrono::milliseconds nextDelay();
    // A connection became ready: the next failure starts again at one second.
    void reset();

private:
    double baseSeconds_ = 1.0;
    std::mt19937 random_;
};

}  // namespace velmor::bridge
