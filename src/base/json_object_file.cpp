#include "base/json_object_file.h"

#include "base/private_folder.h"
#include "base/write_all.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <sstream>
#include <sys/stat.h>
#include <unistd.h>

namespace velmor {

nlohmann::json readJsonObjectFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return nlohmann::json::object();
    std::stringstream text;
    text << in.rdbuf();
    auto parsed = nlohmann::json::parse(text.str(), nullptr, /*allow_exceptions=*/false);
    return parsed.is_object() ? parsed : nlohmann::json::object();
}

namespace {

Result<void> writeJsonObjectFile(const std::string& path, const nlohmann::json& object) {
    std::string text;
    try {
        text = object.dump(2) + "\n";
    } catch (const nlohmann::json::exception& error) {
        return fail(std::string("cannot write the settings as JSON: ") + error.what());
    }
    return replaceFilePrivately(path, text);
}

}  // namespace

Result<void> mergeIntoJsonObjectFile(const std::string& path, const nlohmann::json& keys) {
    nlohmann::json object = readJsonObjectFile(path);
    for (const auto& [key, value] : keys.items()) object[key] = value;
    return writeJsonObjectFile(path, object);
}

Result<void> removeFromJsonObjectFile(const std::string& path, const std::string& key) {
    nlohmann::json object = readJsonObjectFile(path);
    if (!object.contains(key)) return succeeded();
    object.erase(key);
    return writeJsonObjectFile(path, object);
}

Result<void> replaceFilePrivately(const std::string& path, const std::string& bytes) {
    std::string dir = parentFolder(path);
    if (!makePrivateDirectories(dir)) return fail("cannot create the folder " + dir + ": " + std::strerror(errno));

    std::string temp = path + ".XXXXXX";
    int fd = ::mkstemp(temp.data());  // creates the file with mode 0600
    if (fd < 0) return fail("cannot create a file next to " + path + ": " + std::strerror(errno));
    bool written = writeAll(fd, bytes) && ::fchmod(fd, 0600) == 0 && ::fsync(fd) == 0;
    written = ::close(fd) == 0 && written;
    if (!written || ::rename(temp.c_str(), path.c_str()) != 0) {
        std::string reason = std::strerror(errno);
        ::unlink(temp.c_str());
        return fail("cannot write " + path + ": " + reason);
    }
    return succeeded();
}

}  // namespace velmor
