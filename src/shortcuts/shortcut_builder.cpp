#include "shortcuts/shortcut_builder.h"

#include "base/child_run.h"
#include "base/json_object_file.h"
#include "base/text.h"
#include "shortcuts/shortcut_file.h"
#include "shortcuts/shortcut_library.h"
#include "shortcuts/step_actions.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <sstream>
#include <unistd.h>

namespace velmor::shortcuts {

namespace {

using nlohmann::json;

std::string upperCaseUuid() {
    static thread_local std::mt19937_64 random{std::random_device{}()};
    uint64_t high = random(), low = random();
    high = (high & 0xFFFFFFFFFFFF0FFFull) | 0x0000000000004000ull;  // version 4
    low = (low & 0x3FFFFFFFFFFFFFFFull) | 0x8000000000000000ull;    // RFC 4122 variant
    char text[37];
    std::snprintf(text, sizeof text, "%08X-%04X-%04X-%04X-%012llX", static_cast<unsigned>(high >> 32),
                  static_cast<unsigned>((high >> 16) & 0xFFFF), static_cast<unsigned>(high & 0xFFFF),
                  static_cast<unsigned>(low >> 48), static_cast<unsigned long long>(low & 0xFFFFFFFFFFFFull));
    return text;
}

std::vector<ShortcutAction> fileActions(const json& actions) {
    std::vector<ShortcutAction> made;
    if (!actions.is_array()) return made;
    for (const auto& entry : actions) {
        if (!entry.is_object() || !entry.contains("action") || !entry["action"].is_string()) continue;
        json parameters = {{"UUID", upperCaseUuid()}};
        if (auto params = entry.find("params"); params != entry.end() && params->is_object()) {
            for (const auto& [key, value] : params->items()) {
                bool templated = value.is_string() && value.get_ref<const std::string&>().find("{{") != std::string::npos;
                parameters[key] = templated ? textToken(value.get<std::string>()) : value;
            }
        }
        made.push_back({entry["action"].get<std::string>(), std::move(parameters)});
    }
    return made;
}

// A folder only this user can enter, so no one else can swap the files between writing,
// checking and importing.
Result<std::string> privateFolder(const std::string& under) {
    std::string folder = under + "/velmor-shortcut-XXXXXX";
    if (!::mkdtemp(folder.data())) return fail("failed to write plist: " + std::string(std::strerror(errno)));
    return folder;
}

}  // namespace

ShortcutBuilder::ShortcutBuilder(std::string program, std::string temporaryFolder, std::chrono::milliseconds runLimit)
    : program_(std::move(program)), temporaryFolder_(std::move(temporaryFolder)), runLimit_(runLimit) {}

Result<std::vector<std::string>> ShortcutBuilder::listShortcuts() const {
    ChildOutcome listed = runChild({program_, "list"});
    if (listed.status != 0) return fail("shortcuts list failed: " + listed.errors);
    std::vector<std::string> names;
    std::istringstream lines(listed.output);
    for (std::string line; std::getline(lines, line);) {
        if (std::string_view name = trimmed(line); !name.empty()) names.emplace_back(name);
    }
    return names;
}

Result<std::string> ShortcutBuilder::runShortcut(const std::string& name, const std::optional<std::string>& input) const {
    std::vector<std::string> argv = {program_, "run", name};
    if (input) argv.insert(argv.end(), {"-i", *input});
    // However many steps and waits it has, a run gives its worker back at the bound; a
    // cancelled call stops it sooner (runChild).
    ChildOutcome ran = runChild(argv, {.stopSignal = SIGTERM}, runLimit_);
    if (ran.timedOut) return fail("shortcut '" + name + "' failed: " + shortcutRunCutText(runLimit_));
    if (ran.status != 0) return fail("shortcut '" + name + "' failed: " + ran.errors);
    return std::string(trimmed(ran.output));
}

Result<CreatedShortcut> ShortcutBuilder::buildFromDescription(const std::string& name, const json& steps) const {
    return createShortcut(name, actionsFromSteps(steps), /*autoImport=*/true);
}

Result<CreatedShortcut> ShortcutBuilder::createShortcut(const std::string& name, const json& actions,
                                                       bool autoImport) const {
    // The checked file carries the shortcut's name to the import, so the name must be able
    // to name a file.
    VELMOR_RETURN_IF_FAILED(checkShortcutName(name));
    std::vector<ShortcutAction> made = fileActions(actions);
    Result<std::string> bytes = shortcutFileBytes(made);
    VELMOR_RETURN_IF_FAILED(bytes);

    Result<std::string> folder = privateFolder(temporaryFolder_);
    VELMOR_RETURN_IF_FAILED(folder);
    const std::string uncheckedPath = *folder + "/unchecked" + kShortcutSuffix;
    const std::string checkedPath = *folder + "/" + name + kShortcutSuffix;
    if (!replaceFilePrivately(uncheckedPath, *bytes))
        return fail("failed to write plist: " + std::string(std::strerror(errno)));

    ChildOutcome checking = runChild({program_, "check", "-i", uncheckedPath, "-o", checkedPath});
    ::unlink(uncheckedPath.c_str());
    if (checking.status != 0) {
        ::rmdir(folder->c_str());
        return fail("the shortcut file is not valid: " + checking.errors);
    }

    CreatedShortcut created{.name = name, .path = checkedPath, .actions = made.size()};
    if (autoImport) {
        ChildOutcome opened = runChild({program_, "import", checkedPath});
        created.importTried = true;
        created.imported = opened.status == 0;
        if (!created.imported) created.importError = opened.errors;
        // The import has read the file by the time it returns (its dialog holds the bytes
        // it shows and adds), so nothing of this creation is left in the temporary folder.
        ::unlink(checkedPath.c_str());
        ::rmdir(folder->c_str());
    }
    return created;
}

std::string systemTemporaryFolder() {
    const char* dir = std::getenv("TMPDIR");
    return dir && dir[0] == '/' ? dir : "/tmp";
}

}  // namespace velmor::shortcuts
