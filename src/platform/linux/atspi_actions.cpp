#include "platform/linux/atspi_actions.h"

#include "base/text.h"
#include "platform/linux/atspi_bus.h"
#include "platform/linux/atspi_roles.h"

namespace velmor::platform {

namespace {

constexpr const char* kActionDbus = "org.a11y.atspi.Action";
// Press actions come first; a hostile list of thousands is not read to its end.
constexpr size_t kActionsRead = 32;

}  // namespace

std::vector<PressActionLookup> findPressActions(DBusConnection* bus, const std::string& busName,
                                                const std::vector<std::string>& paths, bool readListedNames,
                                                ActionNames& untranslated) {
    std::vector<PressActionLookup> found(paths.size());
    std::vector<PendingReply> lists;
    lists.reserve(paths.size());
    for (const auto& path : paths)
        lists.push_back(DbusCall(busName, path, kActionDbus, "GetActions").sendLater(bus, kAtspiCallTimeoutMs));

    std::vector<std::pair<size_t, std::vector<std::string>>> undecided;
    std::unordered_map<std::string, PendingReply> asking;
    for (size_t i = 0; i < paths.size(); ++i) {
        DbusReply list = lists[i].wait();
        if (!list.ok()) {
            found[i].errorName = list.errorName();
            continue;
        }
        if (!list.hasSignature("a(sss)")) continue;
        std::vector<std::string> listed;
        for (DbusReader actions = list.reader().open(); !actions.atEnd() && listed.size() < kActionsRead;)
            listed.push_back(actions.open().string());
        for (size_t k = 0; readListedNames && k < listed.size() && !found[i].index; ++k) {
            if (isPressAction(lowerAscii(listed[k]))) {
                found[i].index = static_cast<int>(k);
                found[i].toggles = lowerAscii(listed[k]) == "toggle";
            }
        }
        if (found[i].index) continue;
        for (size_t k = 0; k < listed.size(); ++k) {
            if (untranslated.count(listed[k]) || asking.count(listed[k])) continue;
            asking.emplace(listed[k], DbusCall(busName, paths[i], kActionDbus, "GetName")
                                          .add(static_cast<int32_t>(k))
                                          .sendLater(bus, kAtspiCallTimeoutMs));
        }
        undecided.emplace_back(i, std::move(listed));
    }
    for (auto& [listedName, pending] : asking) {
        DbusReply name = pending.wait();
        untranslated[listedName] = name.hasSignature("s") ? name.reader().string() : std::string();
    }
    for (const auto& [i, listed] : undecided) {
        for (size_t k = 0; k < listed.size() && !found[i].index; ++k) {
            if (isPressAction(untranslated[listed[k]])) {
                found[i].index = static_cast<int>(k);
                found[i].toggles = untranslated[listed[k]] == "toggle";
            }
        }
    }
    return found;
}

}  // namespace velmor::platform
