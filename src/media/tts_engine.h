#pragma once

#include <chrono>
#include <optional>
#include <string>
#include <sys/types.h>
#include <vector>

#include "base/guarded.h"
#include "base/result.h"

namespace velmor::media {

// The system voice: espeak-ng, run as a child process that plays through the default
// audio output. Used whenever no cloud provider is active, and to render narration lines
// to WAV for recordings.
class TTSEngine {
public:
    explicit TTSEngine(std::string espeakProgram = "espeak-ng",
                       std::chrono::milliseconds speakLimit = std::chrono::seconds(60));

    // Speaks the text and returns when it has been said: "failed to start speaking" when
    // the synthesizer could not run, "speech timed out" (and speech stopped) after the limit.
    // A voice picks the first installed voice whose name contains it (letter case ignored);
    // when none does, the previously chosen voice stays.
    Result<void> speakSync(const std::string& text, const std::optional<std::string>& voice);

    // The text rendered to WAV bytes in the same voice, without playing it.
    Result<std::string> renderWav(const std::string& text, const std::optional<std::string>& voice);

    // Stops the speech in progress, if any.
    void stop();
    bool isSpeaking() const;

    // The names of the installed voices, in the synthesizer's order.
    std::vector<std::string> listVoices() const;

private:
    struct InstalledVoice {
        std::string name;        // what users see and match against
        std::string identifier;  // what espeak-ng's -v takes
    };
    std::vector<InstalledVoice> installedVoices() const;
    // Chooses the voice for `voice` (keeping the last choice when nothing matches) and
    // returns the identifier to pass, empty for the synthesizer's own default.
    std::string selectVoice(const std::optional<std::string>& voice);

    std::string program_;
    std::chrono::milliseconds speakLimit_;
    // Tool calls, the settings window's test and a demo's narration speak from their own
    // threads; stop() comes from any of them.
    struct State {
        std::optional<std::vector<InstalledVoice>> voices;
        std::string selectedVoice;
        pid_t speakingPid = -1;
    };
    mutable Guarded<State> state_;
};

}  // namespace velmor::media
