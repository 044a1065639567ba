#include "base/paths.h"

#include "base/user_dirs.h"

#include <climits>
#include <cstdlib>
#include <filesystem>
#include <pwd.h>
#include <string>
#include <unistd.h>

namespace velmor::paths {

namespace {

std::string absoluteEnv(const char* name) {
    const char* value = std::getenv(name);
    if (value && value[0] == '/') return value;
    return {};
}

}  // namespace

std::string homeDirectory() {
    if (const char* home = std::getenv("HOME"); home && *home) return home;
    if (const passwd* entry = getpwuid(getuid()); entry && entry->pw_dir) return entry->pw_dir;
    return "/";
}

std::string configHome() {
    std::string dir = absoluteEnv("XDG_CONFIG_HOME");
    return dir.empty() ? homeDirectory() + "/.config" : dir;
}

std::string dataHome() {
    std::string dir = absoluteEnv("XDG_DATA_HOME");
    return dir.empty() ? homeDirectory() + "/.local/share" : dir;
}

std::string runtimeDirectory() {
    std::string dir = absoluteEnv("XDG_RUNTIME_DIR");
    return dir.empty() ? "/tmp/velmor-" + std::to_string(getuid()) : dir + "/velmor";
}

std::string stateHome() {
    std::string dir = absoluteEnv("XDG_STATE_HOME");
    return dir.empty() ? homeDirectory() + "/.local/state" : dir;
}

std::string sharedConfigFile() { return homeDirectory() + "/.velmor/config.json"; }
std::string defaultsFile() { return configHome() + "/velmor/defaults.json"; }
std::string logFile() { return stateHome() + "/velmor/velmor.log"; }
std::string flowDatabase() { return dataHome() + "/velmor/flows.db"; }
std::string tlsIdentityFile() { return dataHome() + "/velmor/server.p12"; }
std::string autostartEntry() { return configHome() + "/autostart/velmor.desktop"; }

std::string videosDirectory() {
    std::string home = homeDirectory();
    if (auto configured = userDirectory(configHome() + "/user-dirs.dirs", "XDG_VIDEOS_DIR", home)) return *configured;
    std::error_code absent;
    if (std::filesystem::is_directory(home + "/Videos", absent)) return home + "/Videos";
    return home;
}

std::string besideThisProgram(const std::string& program) {
    char self[PATH_MAX];
    ssize_t length = ::readlink("/proc/self/exe", self, sizeof self - 1);
    std::string path = length > 0 ? std::string(self, static_cast<size_t>(length)) : "";
    auto slash = path.find_last_of('/');
    return (slash == std::string::npos ? std::string(".") : path.substr(0, slash)) + "/" + program;
}

}  // namespace velmor::paths
