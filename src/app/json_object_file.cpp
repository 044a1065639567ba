#include "app/json_object_file.h"

#include <cerrno>
#include <fcntl.h>
#include <fstream>
#include <sstream>
#include <sys/stat.h>
#include <unistd.h>

namespace velmor {

namespace {

// mkdir -p with mode 0700 for every directory it has to create.
bool makePrivateDirectories(const std::string& dir) {
    if (dir.empty()) return true;
    struct stat st{};
    if (::stat(dir.c_str(), &st) == 0) return S_ISDIR(st.st_mode);
    auto slash = dir.find_last_of('/');
    if (slash != std::string::npos && slash > 0 && !makePrivateDirectories(dir.substr(0, slash))) return false;
    return ::mkdir(dir.c_str(), 0700) == 0 || errno == EEXIST;
}

bool writeAll(int fd, const std::string& text) {
    const char* data = text.data();
    size_t left = text.size();
    while (left > 0) {
        ssize_t n = ::write(fd, data, left);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        data += n;
        left -= static_cast<size_t>(n);
    }
    return true;
}

}  // namespace

nlohmann::json readJsonObjectFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return nlohmann::json::object();
    std::stringstream text;
    text << in.rdbuf();
    auto parsed = nlohmann::json::parse(text.str(), nullptr, /*allow_exceptions=*/false);
    return parsed.is_object() ? parsed : nlohmann::json::object();
}

bool mergeIntoJsonObjectFile(const std::string& path, const nlohmann::json& keys) {
    nlohmann::json object = readJsonObjectFile(path);
    for (const auto& [key, value] : keys.items()) object[key] = value;

    std::string text;
    try {
        text = object.dump(2) + "\n";
    } catch (const nlohmann::json::exception&) {
        return false;
    }
    return replaceFilePrivately(path, text);
}

bool replaceFilePrivately(const std::string& path, const std::string& bytes) {
    auto slash = path.find_last_of('/');
    std::string dir = slash == std::string::npos ? "." : path.substr(0, slash);
    if (!makePrivateDirectories(dir)) return false;

    std::string temp = path + ".XXXXXX";
    int fd = ::mkstemp(temp.data());  // creates the file with mode 0600
    if (fd < 0) return false;
    bool written = writeAll(fd, bytes) && ::fchmod(fd, 0600) == 0 && ::fsync(fd) == 0;
    written = ::close(fd) == 0 && written;
    if (!written || ::rename(temp.c_str(), path.c_str()) != 0) {
        ::unlink(temp.c_str());
        return false;
    }
    return true;
}

}  // namespace velmor
