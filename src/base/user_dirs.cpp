#include "base/user_dirs.h"

#include <fstream>
#include <sstream>

namespace velmor {

namespace {

// Real files hold a dozen short lines; anything far larger is not a settings file.
constexpr std::streamsize kDirsFileLimit = 64 * 1024;

std::optional<std::string> readSmallFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return std::nullopt;
    std::string text(static_cast<size_t>(kDirsFileLimit) + 1, '\0');
    in.read(text.data(), kDirsFileLimit + 1);
    if (in.gcount() > kDirsFileLimit) return std::nullopt;
    text.resize(static_cast<size_t>(in.gcount()));
    return text;
}

size_t skipBlanks(std::string_view line, size_t at) {
    while (at < line.size() && (line[at] == ' ' || line[at] == '\t')) ++at;
    return at;
}

// The folder one line names for `name`, when it is in one of the two accepted forms.
std::optional<std::string> parseLine(std::string_view line, std::string_view name, const std::string& home) {
    size_t at = skipBlanks(line, 0);
    if (line.substr(at, name.size()) != name) return std::nullopt;
    at = skipBlanks(line, at + name.size());
    if (at >= line.size() || line[at] != '=') return std::nullopt;
    at = skipBlanks(line, at + 1);
    if (at >= line.size() || line[at] != '"') return std::nullopt;
    ++at;

    std::string folder;
    constexpr std::string_view kHome = "$HOME";
    if (line.substr(at, kHome.size()) == kHome) {
        folder = home;
        at += kHome.size();
        if (at < line.size() && line[at] != '/' && line[at] != '"') return std::nullopt;
    } else if (at >= line.size() || line[at] != '/') {
        return std::nullopt;
    }
    for (; at < line.size() && line[at] != '"'; ++at) {
        if (line[at] == '\\' && at + 1 < line.size()) ++at;
        folder += line[at];
    }
    if (at >= line.size()) return std::nullopt;  // no closing quote
    while (folder.size() > 1 && folder.back() == '/') folder.pop_back();
    return folder;
}

}  // namespace

std::optional<std::string> userDirectory(const std::string& dirsFile, std::string_view name, const std::string& home) {
    std::optional<std::string> text = readSmallFile(dirsFile);
    if (!text) return std::nullopt;
    std::optional<std::string> found;
    std::istringstream lines(*text);
    for (std::string line; std::getline(lines, line);)
        if (auto folder = parseLine(line, name, home)) found = std::move(folder);
    return found;
}

}  // namespace velmor
