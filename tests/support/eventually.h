#pragma once

#include <chrono>
#include <thread>

namespace velmor::test {

// Asks `condition` every 10 ms until it holds or `limit` has passed; its last answer.
template <typename Condition>
bool eventually(Condition condition, std::chrono::milliseconds limit = std::chrono::seconds(10)) {
    auto deadline = std::chrono::steady_clock::now() + limit;
    while (std::chrono::steady_clock::now() < deadline) {
        if (condition()) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return condition();
}

}  // namespace velmor::test
