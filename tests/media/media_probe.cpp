#include "media/media_probe.h"

#include <cstdio>
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>

extern char** environ;

namespace velmor::test {

nlohmann::json probeMedia(const std::string& path) {
    std::string command = "ffprobe -v error -show_entries stream=codec_type,codec_name,width,height,pix_fmt,duration "
                          "-show_entries format=duration,size -of json '" + path + "'";
    FILE* pipe = popen(command.c_str(), "r");
    if (!pipe) return nullptr;
    std::string text;
    char buffer[4096];
    while (size_t got = fread(buffer, 1, sizeof buffer, pipe)) text.append(buffer, got);
    if (pclose(pipe) != 0) return nullptr;
    return nlohmann::json::parse(text, nullptr, false);
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
