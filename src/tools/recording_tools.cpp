#include "tools/recording_tools.h"

#include "base/text.h"
#include "base/utf8.h"
#include "base/call_context.h"
#include "media/recording_files.h"

#include <string>

namespace velmor::tools {

using nlohmann::json;

namespace {

// A recording larger than this is worth keeping even when the writer reported an error.
constexpr uintmax_t kUsableRecordingBytes = 1000;

json startRecording(const NarratedDemoServices& demo, const Arguments& args) {
    std::string mode = lowerAscii(args.string("mode").value_or("window"));
    if (mode == "display") {
        auto started = demo.recorder.startDisplayRecording();
        if (!started) return errorResult(started.error());
        return {{"status", "recording"},
                {"mode", "display"},
                {"message", "Recording entire screen. Call stop_recording when done."}};
    }
    auto pid = demo.session.targetPid();
    if (!pid) return errorResult("no active session");
    auto started = demo.recorder.startRecording(*pid);
    if (!started) return errorResult(started.error());
    return {{"status", "recording"},
            {"mode", "window"},
            {"message", "Recording started. Navigate the app, use speak for narration, then call stop_recording."}};
}

json stopRecording(media::WindowRecorder& recorder, const std::filesystem::path& recordingsFolder) {
    // Finishing the file can take ffmpeg several seconds.
    currentCall().progress(0, 1, "Finishing the recording");
    auto saved = recorder.stopRecording();
    currentCall().progress(1, 1, "Recording finished");
    if (saved) return {{"status", "saved"}, {"path", *saved}};
    // A writer that failed at the end may still have left a file that plays. With nothing
    // recording there is no such file: an older recording must not pass for a new one.
    auto newest = saved.error() == media::kNotRecording ? std::nullopt : media::newestDemoFile(recordingsFolder);
    if (newest) {
        std::error_code error;
        uintmax_t size = std::filesystem::file_size(*newest, error);
        if (!error && size > kUsableRecordingBytes)
            return {{"status", "saved"},
                    {"path", newest->string()},
                    {"note", "writer reported error but file is valid (" + std::to_string(size) + " bytes)"}};
    }
    return errorResult(saved.error());
}

}  // namespace

void installRecordingTools(ToolRouter& router, NarratedDemoServices demo, std::filesystem::path recordingsFolder) {
    auto services = std::make_shared<NarratedDemoServices>(std::move(demo));
    router.registry().handle("start_recording", [services](const Arguments& args) { return startRecording(*services, args); });
    router.registry().handle("stop_recording", [services, recordingsFolder](const Arguments&) {
        return stopRecording(services->recorder, recordingsFolder);
    });
    router.registry().handle("record_narrated_demo", [services](const Arguments& args) {
        const json* script = args.array("script");
        if (!script) return errorResult(missingField("script") + " array");
        return executeNarratedDemo(*services, *script);
    });
}

}  // namespace velmor::tools
