#include "tools/narrated_demo.h"

#include "automation/menu_actions.h"
#include "base/text.h"
#include "base/utf8.h"
#include "base/call_context.h"
#include "base/wait_bounds.h"
#include "media/wav.h"
#include "base/arguments.h"
#include "tools/clip_folder.h"
#include "tools/narration_merge.h"

#include <chrono>
#include <fstream>
#include <optional>
#include <thread>
#include <vector>

namespace velmor::tools {

using nlohmann::json;

namespace {

using Clock = std::chrono::steady_clock;

constexpr auto kMenuSettle = std::chrono::milliseconds(300);
constexpr auto kRescanInterval = std::chrono::milliseconds(300);
// A long wait tells the caller how far it has come once per slice.
constexpr auto kProgressSlice = std::chrono::milliseconds(1000);
// The silent clip only sets the track's length; ffmpeg resamples it to the narration's rate.
constexpr uint32_t kSilenceRate = 8000;

std::string quoted(const std::string& text, size_t characters) {
    return "\"" + utf8Prefix(text, characters) + "\"";
}

bool writeClip(const std::filesystem::path& path, const std::string& bytes) {
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    file.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    return static_cast<bool>(file.flush());
}

class DemoRun {
public:
    DemoRun(const NarratedDemoServices& services) : s_(services), clipFolder_(services.temporaryFolder) {}

    json run(const json& script) {
        const CallContext& call = currentCall();
        steps_ = static_cast<double>(script.size());
        for (size_t i = 0; i < script.size() && !call.cancelled(); ++i) {
            call.progress(static_cast<double>(i), steps_, "Step " + std::to_string(i + 1));
            step(i, script[i]);
        }
        if (call.cancelled()) return cancelled();
        call.progress(steps_, steps_, "Demo completed");
        if (videoPath_ && !segments_.empty()) {
            addSilenceAsLongAs(recordedSeconds_);
            auto merged = mergeNarrationIntoVideo(s_.ffmpegProgram, *videoPath_, segments_);
            if (!merged) results_.push_back("Audio merge failed: " + merged.error());
            else results_.push_back("Audio merged → " + *merged);
        }
        return {{"status", "completed"}, {"steps_executed", script.size()}, {"results", results_}};
    }

private:
    // Nobody hears the answer of a cancelled demo; what it leaves behind is tidied up: the
    // recording it started is finished as a stop step would finish it, its clips go with the run.
    json cancelled() {
        if (recording_) results_.push_back("Cancelled; " + stopRecording());
        return {{"status", "cancelled"}, {"results", results_}};
    }

    void step(size_t i, const json& raw) {
        Arguments step(raw);
        std::string n = "Step " + std::to_string(i + 1) + ": ";
        auto action = step.string("action");
        if (!action) return results_.push_back(n + "missing action");
        std::string tool = step.string("tool").value_or("");

        if (*action == "start_recording") {
            results_.push_back(n + startRecording(lowerAscii(step.string("mode").value_or("window"))));
        } else if (*action == "stop_recording") {
            results_.push_back(n + stopRecording());
        } else if (*action == "speak") {
            std::string text = step.string("text").value_or("");
            results_.push_back(n + speak(i, text, step.string("voice").value_or(s_.speech.defaultVoice())));
        } else if (*action == "click") {
            s_.router.callTool(tool, json::object());
            results_.push_back(n + "click " + tool);
        } else if (*action == "fill") {
            std::string value = step.string("value").value_or("");
            s_.router.callTool(tool, {{"value", value}});
            results_.push_back(n + "fill " + tool + " = " + quoted(value, 30));
        } else if (*action == "press_key") {
            std::string key = step.string("key").value_or("");
            s_.router.callTool("press_key", {{"key", key}});
            results_.push_back(n + "press_key " + key);
        } else if (*action == "type_text") {
            std::string text = step.string("text").value_or("");
            s_.router.callTool("type_text", {{"text", text}});
            results_.push_back(n + "type_text " + quoted(text, 30));
        } else if (*action == "wait") {
            results_.push_back(n + wait(i, step.integer("ms").value_or(1000)));
        } else if (*action == "wait_for_tool") {
            int64_t timeoutMs = step.integer("timeout_ms").value_or(5000);
            auto allowed = checkWaitLength(std::chrono::milliseconds(timeoutMs));
            results_.push_back(n + (allowed ? waitForTool(tool, timeoutMs) : "wait_for_tool refused: " + allowed.error()));
        } else if (*action == "navigate") {
            std::string path = step.string("path").value_or("");
            s_.router.callTool("web_navigate", {{"path", path}});
            results_.push_back(n + "navigate " + path);
        } else if (*action == "execute") {
            const json* args = step.object("args");
            s_.router.callTool(tool, args ? *args : json::object());
            results_.push_back(n + "execute " + tool);
        } else if (*action == "menu_click" || *action == "menu_hover") {
            results_.push_back(n + menuStep(*action, step.stringArray("path")));
        } else {
            results_.push_back(n + "unknown action '" + *action + "'");
        }
    }

    std::string startRecording(const std::string& mode) {
        Result<void> started = succeeded();
        if (mode == "display") {
            started = s_.recorder.startDisplayRecording();
        } else {
            auto pid = s_.session.targetPid();
            if (!pid) return "no active session for recording";
            started = s_.recorder.startRecording(*pid);
        }
        if (!started) return "start_recording failed: " + started.error();
        recording_ = true;
        recordingStart_ = Clock::now();
        return "recording started (" + mode + ")";
    }

    // A stop step's result, also said when a cancelled demo finishes its recording; the file
    // it saved is the one the narration is merged into.
    std::string stopRecording() {
        auto saved = s_.recorder.stopRecording();
        recording_ = false;
        if (!saved) return "recording stopped → error: " + saved.error();
        videoPath_ = *saved;
        recordedSeconds_ = recordingStart_ ? secondsSince(*recordingStart_) : 0;
        return "recording stopped → " + *saved;
    }

    std::string speak(size_t i, const std::string& text, const std::string& voice) {
        double offset = recordingStart_ ? secondsSince(*recordingStart_) : 0;
        if (s_.speech.isConfigured()) {
            // Only audio the provider already holds is mixed: fetching it now would delay
            // the line on screen.
            if (auto audio = s_.speech.getCachedAudio(text, voice)) {
                std::string extension = s_.speech.currentProviderId() == "gemini" ? "wav" : "mp3";
                addSegment(offset, "clip_" + std::to_string(i) + "." + extension, *audio);
            }
            auto spoken = s_.speech.speakSync(text, voice);
            if (!spoken) return "speak failed: " + spoken.error();
            return "spoke " + quoted(text, 40);
        }
        // The system voice is rendered once and that very audio is both played and mixed,
        // so a demo made without a cloud account still has its narration in the video.
        auto& systemVoice = s_.speech.systemVoice();
        auto wav = systemVoice.renderWav(text, voice);
        if (wav) {
            addSegment(offset, "clip_" + std::to_string(i) + ".wav", *wav);
            (void)s_.player.playAndWait(*wav);
        } else {
            (void)systemVoice.speakSync(text, voice);
        }
        return "spoke " + quoted(text, 40) + " (system TTS)";
    }

    void addSegment(double offset, const std::string& name, const std::string& audio) {
        if (clipFolder_.empty()) return;
        auto path = clipFolder_.path() / name;
        if (writeClip(path, audio)) segments_.push_back({offset, path.string()});
    }

    // The mix ends with its longest clip, so a narration that falls silent before the
    // recording ends would leave the video's last seconds without sound: players then show
    // a shorter track or stop early. A silent clip from the start to the end of the recording
    // makes the track as long as the video. It goes last: the mix takes its rate from the
    // first clip.
    void addSilenceAsLongAs(double seconds) {
        auto samples = static_cast<size_t>(seconds * kSilenceRate);
        if (samples == 0) return;
        addSegment(0, "silence.wav", media::pcmToWav(std::string(samples * 2, '\0'), kSilenceRate, 1, 16));
    }

    static double secondsSince(Clock::time_point start) {
        return std::chrono::duration<double>(Clock::now() - start).count();
    }

    // A wait step of step `i`: long ones report their share of the step as they go.
    std::string wait(size_t i, int64_t ms) {
        if (auto allowed = checkWaitLength(std::chrono::milliseconds(ms)); !allowed) return "wait refused: " + allowed.error();
        const CallContext& call = currentCall();
        const auto total = std::chrono::milliseconds(std::max<int64_t>(ms, 0));
        const auto start = Clock::now();
        for (auto waited = std::chrono::milliseconds(0); waited < total; waited += kProgressSlice) {
            if (waited > std::chrono::milliseconds(0))
                call.progress(static_cast<double>(i) + static_cast<double>(waited.count()) / total.count(), steps_,
                              "Step " + std::to_string(i + 1) + ": waited " + std::to_string(waited.count()) + " of " +
                                  std::to_string(ms) + "ms");
            // Slices end where they were meant to, however late the previous one woke.
            auto sliceEnd = start + std::min(waited + kProgressSlice, total);
            if (!call.waitFor(sliceEnd - Clock::now())) return "wait cancelled";
        }
        return "waited " + std::to_string(ms) + "ms";
    }

    std::string waitForTool(const std::string& tool, int64_t timeoutMs) {
        auto start = Clock::now();
        auto elapsedMs = [&] { return std::chrono::duration<double, std::milli>(Clock::now() - start).count(); };
        bool found = false;
        while (elapsedMs() < static_cast<double>(timeoutMs)) {
            if (hasTool(tool)) {
                found = true;
                break;
            }
            (void)s_.session.getState();
            if (!currentCall().waitFor(kRescanInterval)) break;
        }
        return "wait_for_tool \"" + tool + "\" " + (found ? "found" : "not found") + " (" +
               std::to_string(static_cast<int64_t>(elapsedMs())) + "ms)";
    }

    bool hasTool(const std::string& tool) {
        for (const auto& element : s_.session.elementTools())
            if (element.toolName == tool) return true;
        return s_.browserSessions.agents().hasTool(tool) || s_.browserSessions.webTools().get(tool).has_value();
    }

    std::string menuStep(const std::string& action, const std::optional<std::vector<std::string>>& path) {
        auto pid = s_.session.targetPid();
        if (!path || !pid) return action + " failed (no session or path)";
        bool click = action == "menu_click";
        auto done = click ? automation::menuClick(s_.menus, *pid, *path) : automation::menuHover(s_.menus, *pid, *path);
        if (click) std::this_thread::sleep_for(kMenuSettle);
        if (!done) return action + " failed: " + done.error();
        std::string joined;
        for (size_t k = 0; k < path->size(); ++k) joined += (k ? " → " : "") + (*path)[k];
        return action + " " + joined;
    }

    const NarratedDemoServices& s_;
    ClipFolder clipFolder_;
    std::vector<std::string> results_;
    std::optional<Clock::time_point> recordingStart_;
    std::vector<NarrationSegment> segments_;
    std::optional<std::string> videoPath_;
    double recordedSeconds_ = 0;
    bool recording_ = false;  // a recording this demo started is running
    double steps_ = 0;  // in the script, for progress reports
};

}  // namespace

json executeNarratedDemo(const NarratedDemoServices& services, const json& script) {
    return DemoRun(services).run(script);
}

}  // namespace velmor::tools
