#include "support/cpu_load.h"

#include <algorithm>

namespace velmor::test {

CpuLoad::CpuLoad() {
    unsigned cores = std::max(1u, std::thread::hardware_concurrency());
    for (unsigned i = 0; i < cores; ++i) {
        spinners_.emplace_back([this] {
            // volatile: the loop is work the compiler may not drop.
            volatile unsigned long spins = 0;
            while (running_.load(std::memory_order_relaxed)) spins = spins + 1;
        });
    }
}

CpuLoad::~CpuLoad() {
    running_ = false;
    for (auto& spinner : spinners_) spinner.join();
}

}  // namespace velmor::test
