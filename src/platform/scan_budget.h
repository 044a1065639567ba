#pragma once

#include <chrono>
#include <cstddef>
#include <string>

namespace velmor::platform {

// How much of an application's accessibility tree one scan may read. A normal window fits
// well inside both; a spreadsheet grid or a window of tens of thousands of widgets does not,
// and reading all of it would hold the answer for seconds and make the application create an
// accessible object per cell. Past either limit the scan answers with what it has read.
constexpr size_t kScanObjectBudget = 5000;
constexpr std::chrono::milliseconds kScanTimeBudget{700};
// Children read from a container that manages its own descendants (grids, long lists): the
// cells in its visible area where it tells which those are, else its first children; never
// all of them. A spreadsheet takes milliseconds to make each cell's object.
constexpr int kManagedChildrenRead = 200;

class ScanBudget {
public:
    ScanBudget() : deadline_(std::chrono::steady_clock::now() + kScanTimeBudget) {}

    // Counts one object read; false once the budget is spent (and from then on).
    bool spend() {
        if (!exhausted_ && (++objects_ > kScanObjectBudget || std::chrono::steady_clock::now() > deadline_))
            exhausted_ = true;
        return !exhausted_;
    }
    bool exhausted() const { return exhausted_; }
    size_t objects() const { return objects_; }

private:
    std::chrono::steady_clock::time_point deadline_;
    size_t objects_ = 0;
    bool exhausted_ = false;
};

}  // namespace velmor::platform
