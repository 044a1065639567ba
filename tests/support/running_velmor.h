#pragma once

#include "support/child_process.h"

#include <map>
#include <memory>
#include <string>
#include <vector>

namespace velmor::test {

// What velmor is started with besides the test's environment: a runtime folder of its own
// in `home`, so that Velmors of tests running side by side do not take each other for a
// second start of one user; sound still goes to the desktop's PulseAudio server.
std::map<std::string, std::string> velmorEnvironment(const std::string& home);

// The real velmor, started in the test's HOME (`home`) and waited for until it serves MCP on
// its fixed port and has published its configuration there; the test fails otherwise.
// Without a preferences file in `home`, it starts as though its setup guide was done.
std::unique_ptr<ChildProcess> startVelmor(const std::string& home, std::vector<std::string> argv = {VELMOR_BINARY});

// velmor-bridge, waited for until it has subscribed to velmor's tool changes; the test fails
// otherwise. What it said on standard error meanwhile is appended to `diagnostics`.
std::unique_ptr<ChildProcess> startSubscribedBridge(std::string& diagnostics);

}  // namespace velmor::test
