#pragma once

#include <string>

namespace velmor::test {

// Moves this process (and every child it starts later) into a network namespace of its
// own with only loopback up, so a test can run Velmor on its fixed ports without meeting
// a Velmor the user is running. Must be called while the process has a single thread.
// Answers an explanation when the system does not allow it, empty on success.
std::string enterPrivateNetwork();

}  // namespace velmor::test
