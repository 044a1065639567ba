#pragma once

#include <atomic>
#include <thread>
#include <vector>

namespace velmor::test {

// Keeps every core of the machine busy while it lives, as a loaded machine is: applications
// then handle input, draw and send their events late.
class CpuLoad {
public:
    CpuLoad();
    ~CpuLoad();
    CpuLoad(const CpuLoad&) = delete;
    CpuLoad& operator=(const CpuLoad&) = delete;

private:
    std::atomic<bool> running_{true};
    std::vector<std::thread> spinners_;
};

}  // namespace velmor::test
