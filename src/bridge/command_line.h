#pragma once

namespace velmor::bridge {

// The program entry: runs the bridge without arguments, answers --help and --version,
// and rejects anything else with status 2.
int runCommandLine(int argc, char** argv);

}  // namespace velmor::bridge
