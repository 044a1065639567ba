#pragma once

#include <gtest/gtest.h>
#include <string>

namespace velmor::test {

// Moves this process (and every child it starts later) into a network namespace of its
// own with only loopback up, so a test can run Velmor on its fixed ports without meeting
// a Velmor the user is running. Must be called while the process has a single thread.
// Answers an explanation when the system does not allow it, empty on success.
std::string enterPrivateNetwork();

// Enters the private network before the first test of the binary runs (while it still has
// one thread). Tests skip themselves when `error` is set.
class PrivateNetworkEnvironment : public ::testing::Environment {
public:
    void SetUp() override { error = enterPrivateNetwork(); }
    static inline std::string error;
};

}  // namespace velmor::test
