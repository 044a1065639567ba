#include "support/temp_home.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <sys/stat.h>

namespace velmor::test {

namespace {

std::string getenvOr(const char* name, bool& had) {
    const char* value = std::getenv(name);
    had = value != nullptr;
    return value ? value : "";
}

void restore(const char* name, bool had, const std::string& value) {
    if (had) setenv(name, value.c_str(), 1);
    else unsetenv(name);
}

}  // namespace

TempHome::TempHome() {
    std::string pattern = (std::filesystem::temp_directory_path() / "velmor-home-XXXXXX").string();
    if (!mkdtemp(pattern.data())) throw std::runtime_error("mkdtemp failed");
    path_ = pattern;
    bool hadHome = false;
    savedHome_ = getenvOr("HOME", hadHome);
    savedConfig_ = getenvOr("XDG_CONFIG_HOME", hadConfig_);
    savedData_ = getenvOr("XDG_DATA_HOME", hadData_);
    setenv("HOME", path_.c_str(), 1);
    setenv("XDG_CONFIG_HOME", (path_ + "/.config").c_str(), 1);
    setenv("XDG_DATA_HOME", (path_ + "/.local/share").c_str(), 1);
}

TempHome::~TempHome() {
    setenv("HOME", savedHome_.c_str(), 1);
    restore("XDG_CONFIG_HOME", hadConfig_, savedConfig_);
    restore("XDG_DATA_HOME", hadData_, savedData_);
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
}

std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

void writeFile(const std::string& path, const std::string& text) {
    std::filesystem::create_directories(std::filesystem::path(path).parent_path());
    std::ofstream(path, std::ios::binary) << text;
}

unsigned fileMode(const std::string& path) {
    struct stat status{};
    return ::stat(path.c_str(), &status) == 0 ? status.st_mode & 0777 : 01000;
}

}  // namespace velmor::test
