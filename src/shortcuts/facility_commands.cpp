#include "shortcuts/facility_commands.h"

#include "base/json_object_file.h"
#include "base/version.h"
#include "shortcuts/desktop_actions.h"
#include "shortcuts/import_dialog.h"
#include "shortcuts/shortcut_file.h"
#include "shortcuts/shortcut_library.h"
#include "shortcuts/shortcut_runner.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <map>
#include <optional>

namespace velmor::shortcuts {

namespace {

constexpr const char* kUsage =
    "Usage:\n"
    "  velmor-shortcuts list\n"
    "  velmor-shortcuts run NAME [-i INPUT]\n"
    "  velmor-shortcuts check -i IN -o OUT\n"
    "  velmor-shortcuts import PATH\n"
    "  velmor-shortcuts --help | --version\n"
    "\n"
    "The shortcuts of this user, kept one file per shortcut in\n"
    "$XDG_DATA_HOME/velmor/shortcuts (~/.local/share/velmor/shortcuts), each named\n"
    "<shortcut name>.shortcut and holding a binary property list of workflow actions.\n"
    "\n"
    "  list    prints the names, one per line, sorted ignoring case.\n"
    "  run     runs the actions in order, each one's output being the next one's input\n"
    "          and INPUT the first one's, and prints the last output. Text parameters may\n"
    "          name {{input}} and {{<variable>}}. Shell scripts get their input on standard\n"
    "          input and two minutes to finish. Sending messages and Do Not Disturb are\n"
    "          not available here. A failure is printed on standard error, with status 1.\n"
    "  check   checks that IN is a well-formed shortcut and writes it to OUT.\n"
    "  import  asks in a dialog whether to add the shortcut to the library, listing its\n"
    "          actions; the shortcut's name is the file's name without .shortcut. Returns\n"
    "          once the dialog is up; fails without a desktop.\n";

int failed(const std::string& message) {
    std::fprintf(stderr, "%s\n", message.c_str());
    return 1;
}

int usageError(const std::string& message) { return failed(message + "\n\n" + kUsage); }

// "-x VALUE" options after the command; nothing when one is unknown or lacks its value.
std::optional<std::map<std::string, std::string>> options(const std::vector<std::string>& args, size_t from,
                                                          const std::vector<std::string>& known) {
    std::map<std::string, std::string> found;
    for (size_t i = from; i < args.size(); i += 2) {
        if (std::find(known.begin(), known.end(), args[i]) == known.end() || i + 1 >= args.size()) return std::nullopt;
        found[args[i]] = args[i + 1];
    }
    return found;
}

int list(const ShortcutLibrary& library) {
    for (const auto& name : library.names()) std::printf("%s\n", name.c_str());
    return 0;
}

int run(const ShortcutLibrary& library, const std::string& name, const std::string& input) {
    // A name that cannot be a file name in the library (a path, say) names no shortcut.
    if (!checkShortcutName(name) || !library.contains(name)) return failed("no shortcut named '" + name + "'");
    auto actions = readShortcutFile(library.fileOf(name));
    if (!actions) return failed("the shortcut '" + name + "' cannot be read: " + actions.error());
    auto output = runActions(*actions, input);
    if (!output) return failed(output.error());
    std::printf("%s\n", output->c_str());
    return 0;
}

int check(const std::string& in, const std::string& out) {
    Result<std::string> bytes = readShortcutBytes(in);
    if (!bytes) return failed("cannot check " + in + ": " + bytes.error());
    // Written as read once checked: a shortcut here carries no signature.
    if (auto actions = parseShortcutFile(*bytes); !actions) return failed("cannot check " + in + ": " + actions.error());
    if (!replaceFilePrivately(out, *bytes)) return failed("cannot write " + out + ": " + std::strerror(errno));
    return 0;
}

}  // namespace

int runFacilityCommand(const std::vector<std::string>& args) {
    if (args.empty()) return usageError("a command is needed");
    const std::string& command = args[0];
    if (command == "--help" || command == "-h" || command == "help") {
        std::printf("%s", kUsage);
        return 0;
    }
    if (command == "--version" && args.size() == 1) {
        std::printf("velmor-shortcuts %s\n", kVersion);
        return 0;
    }
    ShortcutLibrary library(defaultLibraryFolder());
    if (command == "list" && args.size() == 1) return list(library);
    if (command == "run" && args.size() >= 2) {
        auto given = options(args, 2, {"-i"});
        if (!given) return usageError("run takes a name and optionally -i INPUT");
        return run(library, args[1], given->count("-i") ? given->at("-i") : "");
    }
    if (command == "check") {
        auto given = options(args, 1, {"-i", "-o"});
        if (!given || given->size() != 2) return usageError("check takes -i IN -o OUT");
        return check(given->at("-i"), given->at("-o"));
    }
    // The former name of check, kept for scripts written against it.
    if (command == "sign") {
        auto given = options(args, 1, {"-m", "-i", "-o"});
        if (!given || given->size() != 3 || given->at("-m") != "anyone") return usageError("check takes -i IN -o OUT");
        return check(given->at("-i"), given->at("-o"));
    }
    if (command == "import" && args.size() == 2) return importWithApproval(args[1], library);
    // Started by `run` itself to keep copied text available once it has ended.
    if (command == "keep-clipboard" && args.size() == 1) return keepClipboard();
    return usageError("unknown command or wrong arguments: " + command);
}

}  // namespace velmor::shortcuts
