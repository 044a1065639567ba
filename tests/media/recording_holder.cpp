// Starts the program on its command line the way the recorder starts ffmpeg, from a thread
// that ends at once; once ffmpeg has reported its progress twice (its first report may come
// before it has written anything), says so and waits to be killed.
#include "base/child_process.h"

#include <csignal>
#include <iostream>
#include <thread>
#include <unistd.h>

int main(int argc, char** argv) {
    std::unique_ptr<velmor::ChildProcess> program;
    std::thread([&] {
        auto started = velmor::ChildProcess::start({argv + 1, argv + argc},
                                                   {.errorLimit = 0, .parentDeathSignal = SIGINT});
        if (started) program = std::move(*started);
        else std::cerr << started.error() << std::endl;
    }).join();
    if (!program) return 1;
    auto reports = [&] {
        std::string output = program->output();
        size_t count = 0;
        for (size_t at = output.find("progress="); at != std::string::npos; at = output.find("progress=", at + 1)) ++count;
        return count;
    };
    while (reports() < 2)
        if (program->waitForExit(std::chrono::milliseconds(10))) return 1;
    std::cout << "recording" << std::endl;
    for (;;) ::pause();
}
