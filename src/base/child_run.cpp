#include "base/child_run.h"

#include "base/call_context.h"
#include "base/text.h"

#include <csignal>

namespace velmor {

namespace {

constexpr std::chrono::seconds kStopGrace{2};

}  // namespace

ChildOutcome runChild(const std::vector<std::string>& argv, ChildOptions options,
                      std::optional<std::chrono::milliseconds> limit, const std::function<void(pid_t)>& onStart) {
    ChildOutcome outcome;
    const std::string program = argv.empty() ? std::string() : argv.front();
    const int stopSignal = options.stopSignal;
    if (!options.input) options.input.emplace();
    auto started = ChildProcess::start(argv, std::move(options));
    if (!started) {
        outcome.errors = "cannot start " + program + ": " + started.error();
        return outcome;
    }
    ChildProcess& child = **started;
    outcome.started = true;
    if (onStart) onStart(child.pid());
    // A cancelled call has no use for what its child would still produce.
    auto stopOnCancel = currentCall().onCancel([&child, stopSignal] { child.signal(stopSignal); });

    std::optional<int> status = limit ? child.waitForExit(*limit) : child.waitForExit();
    outcome.timedOut = !status;
    if (outcome.timedOut) {
        child.signal(stopSignal);
        // A program asked to stop its own children gets a moment for it before the whole
        // group is killed.
        if (stopSignal != SIGKILL) (void)child.waitForExit(kStopGrace);
    }
    else if (!child.endedBySignal()) outcome.status = *status;
    outcome.output = child.output();
    outcome.errors = std::string(trimmed(child.errors()));
    outcome.lastErrorLine = child.lastErrorLine();
    if (outcome.timedOut)
        outcome.errors = program + " did not finish within " + std::to_string(limit->count() / 1000) + " s" +
                         (outcome.errors.empty() ? "" : ": " + outcome.errors);
    return outcome;
}

}  // namespace velmor
