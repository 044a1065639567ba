#include "shortcuts/shortcut_runner.h"

#include "base/child_launch.h"
#include "base/child_run.h"
#include "base/text.h"
#include "base/wait_bounds.h"
#include "shortcuts/desktop_actions.h"
#include "shortcuts/url_fetch.h"

#include <chrono>
#include <cmath>
#include <csignal>
#include <cstdlib>
#include <functional>
#include <map>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace velmor::shortcuts {

namespace {

using namespace std::chrono_literals;
using nlohmann::json;

constexpr auto kScriptTimeout = 120s;
constexpr auto kLauncherTimeout = 30s;
constexpr auto kSpeechTimeout = 120s;

// The process group of the step program running now (0 between steps), for the stop handler:
// a signal handler reaches nothing but globals.
volatile std::sig_atomic_t gStepGroup = 0;

// Velmor stops a run it gave up on (its call was cancelled, or the run reached its bound)
// with SIGTERM: the step's program goes with the run, and so does whatever that program
// started in its group, which a stop of the run's own group would leave behind.
extern "C" void stopRun(int signal) {
    if (pid_t group = gStepGroup; group > 0) ::kill(-group, SIGKILL);
    ::_exit(128 + signal);
}

void stopStepsWithTheRun() {
    struct sigaction action {};
    action.sa_handler = stopRun;
    sigemptyset(&action.sa_mask);
    ::sigaction(SIGTERM, &action, nullptr);
}

// A step's program, listed for stopRun while it runs. Should the run be killed outright, the
// program dies with it (parentDeathSignal).
ChildOutcome runStep(const std::vector<std::string>& argv, ChildOptions options, std::chrono::milliseconds limit) {
    options.parentDeathSignal = SIGKILL;
    ChildOutcome outcome = runChild(argv, std::move(options), limit, [](pid_t group) { gStepGroup = group; });
    gStepGroup = 0;
    return outcome;
}

struct Run {
    std::string input;
    std::map<std::string, std::string> variables;
};

using Action = std::function<Result<std::string>(const json& params, Run& run)>;

std::string expand(const std::string& text, const Run& run) {
    std::string out;
    size_t at = 0;
    for (;;) {
        size_t open = text.find("{{", at);
        size_t close = open == std::string::npos ? open : text.find("}}", open + 2);
        if (close == std::string::npos) break;
        std::string key = text.substr(open + 2, close - open - 2);
        out.append(text, at, open - at);
        if (key == "input") out += run.input;
        else if (auto it = run.variables.find(key); it != run.variables.end()) out += it->second;
        else out.append(text, open, close + 2 - open);
        at = close + 2;
    }
    out.append(text, at);
    return out;
}

std::string text(const json& params, const char* key, const Run& run) {
    auto it = params.find(key);
    if (it == params.end()) return {};
    auto found = parameterText(*it);
    return found ? expand(*found, run) : std::string{};
}

Result<std::string> runScript(const json& params, Run& run) {
    auto named = params.find("Shell");
    std::string shell = named != params.end() ? parameterText(*named).value_or("") : "";
    if (shell.empty()) shell = "/bin/bash";
    struct stat st{};
    if (shell[0] != '/' || ::stat(shell.c_str(), &st) != 0 || !S_ISREG(st.st_mode) || ::access(shell.c_str(), X_OK) != 0)
        return fail("the shell " + shell + " is not available");
    auto script = params.find("WFShellScript");
    std::string code = script != params.end() ? parameterText(*script).value_or("") : "";
    ChildOutcome ran = runStep({shell, "-c", code}, {.input = run.input}, kScriptTimeout);
    if (ran.status != 0) return fail(ran.errors.empty() ? "the shell script failed with status " + std::to_string(ran.status) : ran.errors);
    return std::string(trimmed(ran.output));
}

Result<std::string> openUrl(const json&, Run& run) {
    std::string url(trimmed(run.input));
    if (url.empty()) return fail("there is no URL to open");
    auto opener = programOnPath("xdg-open");
    if (!opener) return fail("cannot open " + url + ": xdg-open is not installed");
    ChildOutcome opened = runChild({*opener, url}, {.discardStreams = true}, kLauncherTimeout);
    if (opened.status != 0) return fail("cannot open " + url + (opened.errors.empty() ? "" : ": " + opened.errors));
    return run.input;
}

Result<std::string> speak(const json& params, Run& run) {
    std::string words = text(params, "WFText", run);
    if (words.empty()) words = run.input;
    auto voice = programOnPath("espeak-ng");
    if (!voice) return fail("there is no system voice (espeak-ng is not installed)");
    ChildOutcome spoken = runStep({*voice, "--stdin"}, {.input = words}, kSpeechTimeout);
    if (spoken.status != 0) return fail("speaking failed: " + spoken.errors);
    return run.input;
}

Result<std::string> wait(const json& params, Run& run) {
    auto it = params.find("WFDelayTime");
    double seconds = 1;
    if (it != params.end() && it->is_number()) seconds = it->get<double>();
    else if (it != params.end() && it->is_string()) seconds = std::atof(it->get<std::string>().c_str());
    if (!std::isfinite(seconds) || seconds < 0) seconds = 0;
    VELMOR_RETURN_IF_FAILED(checkWaitLength(std::chrono::milliseconds(static_cast<int64_t>(std::min(seconds, 1e9) * 1000))));
    std::this_thread::sleep_for(std::chrono::duration<double>(seconds));
    return run.input;
}

const std::map<std::string, Action>& actions() {
    static const std::map<std::string, Action> table = {
        {"gettext", [](const json& p, Run& r) -> Result<std::string> { return text(p, "WFTextActionText", r); }},
        {"showresult",
         [](const json& p, Run& r) -> Result<std::string> {
             std::string shown = text(p, "Text", r);
             if (shown.empty()) shown = r.input;
             // Shown where the user looks when a notification service is there; the
             // result is the output either way.
             (void)sendNotification("Shortcut result", shown);
             return shown;
         }},
        {"ask",
         [](const json& p, Run& r) {
             std::string prompt = text(p, "WFAskActionPrompt", r);
             return askForText(prompt.empty() ? "Enter value:" : prompt);
         }},
        {"url",
         [](const json& p, Run& r) -> Result<std::string> {
             std::string url = text(p, "WFURLActionURL", r);
             return url.empty() ? r.input : url;
         }},
        {"openurl", openUrl},
        {"downloadurl", [](const json&, Run& r) { return fetchUrl(std::string(trimmed(r.input))); }},
        {"openapp",
         [](const json& p, Run& r) -> Result<std::string> {
             VELMOR_RETURN_IF_FAILED(openApplication(text(p, "WFAppIdentifier", r)));
             return r.input;
         }},
        {"runscript", runScript},
        {"setvariable",
         [](const json& p, Run& r) -> Result<std::string> {
             std::string name = text(p, "WFVariableName", r);
             r.variables[name.empty() ? "Variable" : name] = r.input;
             return r.input;
         }},
        {"setclipboard",
         [](const json&, Run& r) -> Result<std::string> {
             VELMOR_RETURN_IF_FAILED(setClipboardText(r.input));
             return r.input;
         }},
        {"getclipboard", [](const json&, Run&) { return clipboardText(); }},
        {"notification",
         [](const json& p, Run& r) -> Result<std::string> {
             std::string title = text(p, "WFNotificationActionTitle", r);
             auto sent = sendNotification(title.empty() ? "Velmor" : title, text(p, "WFNotificationActionBody", r));
             VELMOR_RETURN_IF_FAILED(sent);
             return r.input;
         }},
        {"delay", wait},
        {"speaktext", speak},
        {"comment", [](const json&, Run& r) -> Result<std::string> { return r.input; }},
    };
    return table;
}

}  // namespace

Result<std::string> runActions(const std::vector<ShortcutAction>& list, const std::string& input) {
    stopStepsWithTheRun();
    Run run{input, {}};
    const std::string prefix = "is.workflow.actions.";
    for (const auto& action : list) {
        auto it = action.identifier.starts_with(prefix) ? actions().find(action.identifier.substr(prefix.size()))
                                                        : actions().end();
        if (it == actions().end())
            return fail("action " + action.identifier + " is not available on this system");
        Result<std::string> output = it->second(action.parameters, run);
        if (!output) return output;
        run.input = *output;
    }
    return run.input;
}

}  // namespace velmor::shortcuts
