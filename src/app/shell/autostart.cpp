#include "app/shell/autostart.h"

#include "base/paths.h"

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <glib.h>
#include <glib/gstdio.h>

namespace velmor::shell {

namespace {

// Exec= takes a quoted argument; inside quotes a backslash, quotation mark, dollar sign
// and backtick are escaped, and the desktop-entry reader unescapes the backslash once more.
std::string execArgument(const std::string& program) {
    std::string quoted = "\"";
    for (char c : program) {
        if (c == '"' || c == '`' || c == '$') quoted += "\\\\";
        if (c == '\\') quoted += "\\\\\\";
        if (c == '%') quoted += '%';
        quoted += c;
    }
    return quoted + "\"";
}

}  // namespace

bool startsAtLogin() { return std::filesystem::exists(paths::autostartEntry()); }

Result<void> setStartAtLogin(bool enabled, const std::string& program) {
    const std::string entry = paths::autostartEntry();
    if (!enabled) {
        if (g_remove(entry.c_str()) != 0 && errno != ENOENT)
            return fail("could not remove " + entry + ": " + std::strerror(errno));
        return succeeded();
    }
    const std::string text =
        "[Desktop Entry]\n"
        "Type=Application\n"
        "Name=Velmor\n"
        "Comment=Lets an AI agent operate this desktop\n"
        "Exec=" + execArgument(program) + "\n"
        "Icon=velmor\n"
        "Terminal=false\n"
        "X-GNOME-Autostart-enabled=true\n";
    std::error_code error;
    std::filesystem::create_directories(std::filesystem::path(entry).parent_path(), error);
    GError* failure = nullptr;
    if (!g_file_set_contents(entry.c_str(), text.c_str(), static_cast<gssize>(text.size()), &failure)) {
        std::string message = failure->message;
        g_error_free(failure);
        return fail("could not write " + entry + ": " + message);
    }
    return succeeded();
}

}  // namespace velmor::shell
