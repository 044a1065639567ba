#pragma once

#include "base/result.h"
#include "base/wait_bounds.h"

#include <chrono>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <vector>

namespace velmor::shortcuts {

// A shortcut file made and checked, and what became of handing it to the import.
struct CreatedShortcut {
    std::string name;
    std::string path;  // the checked file; removed once an import was tried
    size_t actions = 0;
    bool importTried = false;
    bool imported = false;
    std::string importError;  // the import program's standard error when it refused
};

// Lists, runs and creates the user's shortcuts through the shortcuts program (list, run,
// check, import), each call a child process run to its end.
class ShortcutBuilder {
public:
    // `program` is the velmor-shortcuts executable; each creation makes its files in a
    // private folder of its own under `temporaryFolder`. A run still going at `runLimit` is
    // stopped.
    ShortcutBuilder(std::string program, std::string temporaryFolder,
                    std::chrono::milliseconds runLimit = kLongestShortcutRun);

    // The names in the program's order.
    Result<std::vector<std::string>> listShortcuts() const;
    // The shortcut's output.
    Result<std::string> runShortcut(const std::string& name, const std::optional<std::string>& input) const;
    // Actions from simple steps (see actionsFromSteps), then createShortcut with import.
    Result<CreatedShortcut> buildFromDescription(const std::string& name, const nlohmann::json& steps) const;
    // `actions`: an array of {"action": identifier, "params": {...}}; other entries are
    // skipped. A string parameter holding "{{" becomes a text token.
    Result<CreatedShortcut> createShortcut(const std::string& name, const nlohmann::json& actions, bool autoImport) const;

private:
    std::string program_;
    std::string temporaryFolder_;
    std::chrono::milliseconds runLimit_;
};

// $TMPDIR, or /tmp.
std::string systemTemporaryFolder();

}  // namespace velmor::shortcuts
