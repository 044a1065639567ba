// Starts the program on its command line the way the recorder starts ffmpeg, from a thread
// that ends at once; once the program has written to its standard output (ffmpeg's first
// progress report: it is recording), prints the program's process id and waits to be killed.
#include "base/child_process.h"

#include <csignal>
#include <iostream>
#include <thread>
#include <unistd.h>

int main(int argc, char** argv) {
    std::unique_ptr<velmor::ChildProcess> program;
    std::thread([&] {
        auto started = velmor::ChildProcess::start({argv + 1, argv + argc},
                                                   {.outputLimit = 0, .errorLimit = 0, .parentDeathSignal = SIGINT});
        if (started) program = std::move(*started);
        else std::cerr << started.error() << std::endl;
    }).join();
    if (!program) return 1;
    while (!program->wroteOutput())
        if (program->waitForExit(std::chrono::milliseconds(10))) return 1;
    std::cout << program->pid() << std::endl;
    for (;;) ::pause();
}
