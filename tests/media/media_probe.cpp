#include "media/media_probe.h"

#include <cstdio>
#include <optional>
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>

extern char** environ;

namespace velmor::test {

namespace {

// What the shell command printed; nothing when it failed.
std::optional<std::string> outputOf(const std::string& command) {
    FILE* pipe = popen(command.c_str(), "r");
    if (!pipe) return std::nullopt;
    std::string text;
    char buffer[4096];
    while (size_t got = fread(buffer, 1, sizeof buffer, pipe)) text.append(buffer, got);
    if (pclose(pipe) != 0) return std::nullopt;
    return text;
}

}  // namespace

nlohmann::json probeMedia(const std::string& path) {
    auto text = outputOf("ffprobe -v error -show_entries stream=codec_type,codec_name,width,height,pix_fmt,duration "
                         "-show_entries format=duration,size -of json '" + path + "'");
    if (!text) return nullptr;
    return nlohmann::json::parse(*text, nullptr, false);
}

double soundEndOf(const std::string& path) {
    auto text = outputOf("ffmpeg -nostdin -hide_banner -i '" + path +
                         "' -map 0:a -af silencedetect=noise=-50dB:d=0.2 -f null - 2>&1");
    if (!text) return -1;
    double duration = durationOf(streamOf(probeMedia(path), "audio"));
    // A silence that runs to the end ends with the track, or is left without an end.
    size_t start = text->rfind("silence_start: ");
    if (start == std::string::npos) return duration;
    size_t end = text->find("silence_end: ", start);
    if (end == std::string::npos || std::stod(text->substr(end + std::string("silence_end: ").size())) >= duration - 0.1)
        return std::stod(text->substr(start + std::string("silence_start: ").size()));
    return duration;
}

nlohmann::json streamOf(const nlohmann::json& probe, const std::string& type) {
    if (!probe.is_object()) return nullptr;
    for (const auto& stream : probe.value("streams", nlohmann::json::array()))
        if (stream.value("codec_type", "") == type) return stream;
    return nullptr;
}

double durationOf(const nlohmann::json& entry) {
    if (!entry.is_object() || !entry.contains("duration")) return 0;
    return std::stod(entry["duration"].get<std::string>());
}

int runQuietly(const std::vector<std::string>& argv) {
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    std::vector<char*> args;
    for (const auto& arg : argv) args.push_back(const_cast<char*>(arg.c_str()));
    args.push_back(nullptr);
    pid_t pid;
    int failed = posix_spawnp(&pid, args[0], &actions, nullptr, args.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (failed) return -1;
    int status = 0;
    waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

}  // namespace velmor::test
