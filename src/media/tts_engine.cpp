#include "media/tts_engine.h"

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <unistd.h>

#include "base/child_run.h"
#include "base/log.h"
#include "base/text.h"
#include "base/utf8.h"

namespace velmor::media {

namespace {

constexpr size_t kVoiceListLimit = 1 << 20;
constexpr size_t kWavLimit = 64 << 20;
constexpr size_t kLoggedErrorLimit = 4096;

// The voice table of `espeak-ng --voices`: a heading, then one voice a line, its name in
// the fourth column and the file that -v accepts in the fifth.
std::vector<std::pair<std::string, std::string>> parseVoiceTable(const std::string& table) {
    std::vector<std::pair<std::string, std::string>> voices;
    std::istringstream lines(table);
    std::string line;
    std::getline(lines, line);
    while (std::getline(lines, line)) {
        std::istringstream fields(line);
        std::string priority, language, ageGender, name, file;
        if (!(fields >> priority >> language >> ageGender >> name >> file)) continue;
        voices.emplace_back(name, file);
    }
    return voices;
}

}  // namespace

TTSEngine::TTSEngine(std::string espeakProgram, std::chrono::milliseconds speakLimit)
    : program_(std::move(espeakProgram)), speakLimit_(speakLimit) {}

std::vector<TTSEngine::InstalledVoice> TTSEngine::installedVoices() const {
    if (auto known = state_.withLocked([](const State& state) { return state.voices; })) return *known;
    auto listing = runChild({program_, "--voices"}, {.outputLimit = kVoiceListLimit}, std::chrono::seconds(10));
    std::vector<InstalledVoice> voices;
    if (listing.status == 0)
        for (auto& [name, file] : parseVoiceTable(listing.output)) voices.push_back({name, file});
    // The voices installed don't change while we run; an empty answer is asked again.
    if (!voices.empty()) state_.withLocked([&](State& state) { state.voices = voices; });
    return voices;
}

std::vector<std::string> TTSEngine::listVoices() const {
    std::vector<std::string> names;
    for (const auto& voice : installedVoices()) names.push_back(voice.name);
    return names;
}

std::string TTSEngine::selectVoice(const std::optional<std::string>& voice) {
    if (voice) {
        std::string wanted = lowerAscii(*voice);
        for (const auto& installed : installedVoices()) {
            if (lowerAscii(installed.name).find(wanted) == std::string::npos) continue;
            state_.withLocked([&](State& state) { state.selectedVoice = installed.identifier; });
            break;
        }
    }
    return state_.withLocked([](const State& state) { return state.selectedVoice; });
}

Result<void> TTSEngine::speakSync(const std::string& text, const std::optional<std::string>& voice) {
    std::vector<std::string> argv{program_};
    if (auto identifier = selectVoice(voice); !identifier.empty()) argv.insert(argv.end(), {"-v", identifier});
    // The text goes in on standard input: never taken for an option, never limited in length.
    argv.push_back("--stdin");
    auto outcome = runChild(argv, {.input = text, .outputLimit = 0, .errorLimit = kLoggedErrorLimit}, speakLimit_,
                            [this](pid_t pid) { state_.withLocked([&](State& state) { state.speakingPid = pid; }); });
    state_.withLocked([](State& state) { state.speakingPid = -1; });
    if (!outcome.started) return fail("failed to start speaking");
    if (outcome.timedOut) return fail("speech timed out");
    if (outcome.status != 0) {
        Log::error("tts", "espeak-ng failed: " + outcome.errors);
        return fail("failed to start speaking");
    }
    return succeeded();
}

Result<std::string> TTSEngine::renderWav(const std::string& text, const std::optional<std::string>& voice) {
    std::vector<std::string> argv{program_};
    if (auto identifier = selectVoice(voice); !identifier.empty()) argv.insert(argv.end(), {"-v", identifier});
    char directory[] = "/tmp/velmor-speech-XXXXXX";
    if (!mkdtemp(directory)) return fail("failed to start speaking");
    std::filesystem::path wavFile = std::filesystem::path(directory) / "line.wav";
    argv.insert(argv.end(), {"-w", wavFile.string(), "--stdin"});
    auto outcome = runChild(argv, {.input = text, .outputLimit = 0, .errorLimit = 0}, speakLimit_);
    std::string wav;
    if (outcome.started && !outcome.timedOut && outcome.status == 0) {
        std::ifstream file(wavFile, std::ios::binary);
        wav.assign(std::istreambuf_iterator<char>(file), {});
        if (wav.size() > kWavLimit) wav.clear();
    }
    std::error_code ignored;
    std::filesystem::remove_all(directory, ignored);
    if (!outcome.started) return fail("failed to start speaking");
    if (outcome.timedOut) return fail("speech timed out");
    if (wav.empty()) return fail("failed to start speaking");
    return wav;
}

void TTSEngine::stop() {
    state_.withLocked([](const State& state) {
        if (state.speakingPid > 0) kill(-state.speakingPid, SIGKILL);
    });
}

bool TTSEngine::isSpeaking() const {
    return state_.withLocked([](const State& state) { return state.speakingPid > 0; });
}

}  // namespace velmor::media
