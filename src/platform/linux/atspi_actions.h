#pragma once

#include "platform/linux/dbus_message.h"

#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

namespace velmor::platform {

// What an object's action list says about pressing it.
struct PressActionLookup {
    std::optional<int> index;  // the first press action
    bool toggles = false;      // it is "toggle": the object is a check box, whatever its role
    std::string errorName;     // the D-Bus error when the object did not list its actions
};

// Untranslated action names by the names an application lists them under.
using ActionNames = std::unordered_map<std::string, std::string>;

// The first press action ("click", "press", "activate", "toggle", "jump") of each object,
// asked of all of them at once. Applications list their actions by localised names
// ("Click", "Klicken"); a listed name that reads as a press action in English settles the
// matter, and the untranslated names of the others are asked for once per listed name, in a
// second round, and kept in untranslated for the next objects. Qt lists "Press", which is not
// a press action by name: pass readListedNames false for it.
std::vector<PressActionLookup> findPressActions(DBusConnection* bus, const std::string& busName,
                                                const std::vector<std::string>& paths, bool readListedNames,
                                                ActionNames& untranslated);

}  // namespace velmor::platform
