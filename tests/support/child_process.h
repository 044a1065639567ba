#pragma once

#include <map>
#include <string>
#include <sys/types.h>
#include <vector>

namespace velmor::test {

// A child process with pipes on its standard input, output and error.
class ChildProcess {
public:
    // Starts `argv[0]` with the current environment plus `extraEnv`.
    explicit ChildProcess(const std::vector<std::string>& argv, const std::map<std::string, std::string>& extraEnv = {});
    ~ChildProcess();  // kills the child if it still runs
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    void writeStdin(const std::string& text);
    void closeStdin();
    // One line from standard output without its "\n"; false on time-out or end of output.
    bool readLine(std::string& line, int timeoutMs = 5000);
    // Everything written to standard error so far (non-blocking).
    std::string drainStderr();
    // Waits for exit; returns the exit status, or -1 on time-out / signal.
    int wait(int timeoutMs = 5000);
    void signal(int sig);
    pid_t pid() const { return pid_; }

private:
    pid_t pid_ = -1;
    int stdin_ = -1, stdout_ = -1, stderr_ = -1;
    std::string stdoutBuffer_;
    bool exited_ = false;
    int status_ = -1;
};

// What a shell command printed on its standard output.
std::string commandOutput(const std::string& command);

}  // namespace velmor::test
