#pragma once

#include "support/child_process.h"
#include "support/temp_home.h"

#include <cstdint>
#include <string>
#include <string_view>

namespace velmor::bridge::test {

// Writes the shared configuration file the bridge reads from the temporary HOME.
void writeConfig(const velmor::test::TempHome& home, const std::string& json);
void writeConfig(const velmor::test::TempHome& home, const std::string& token, std::int64_t port, std::int64_t wsPort);

// A velmor-bridge process started with the test's (temporary) HOME.
class RunningBridge {
public:
    RunningBridge();

    void writeLine(const std::string& line) { process_.writeStdin(line + "\n"); }
    // The next standard-output line, or "<no line>" when none came in time.
    std::string readLine(int timeoutMs = 10000);
    // True once standard error contains `text`.
    bool waitForStderr(std::string_view text, int timeoutMs = 10000);
    const std::string& stderrSoFar();
    velmor::test::ChildProcess& process() { return process_; }

private:
    velmor::test::ChildProcess process_;
    std::string stderr_;
};

}  // namespace velmor::bridge::test
