#pragma once

#include "base/result.h"

#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace velmor::browser {

// A JavaScript dialog a page opened, and how it was answered.
struct PageDialog {
    std::string type;     // "alert", "confirm", "prompt" or "beforeunload"
    std::string message;
};

// How Velmor answers a dialog nobody asked it to answer otherwise: an alert is only read, so
// it is accepted; a question (confirm, prompt, leaving the page) is dismissed, which changes
// nothing the user did not ask for.
inline bool acceptedByDefault(const std::string& dialogType) { return dialogType == "alert"; }

// Listens to the tabs Velmor has worked in for JavaScript dialogs, so that a dialog a page
// opens on its own (from a timer, a network answer) is known and can be answered later. A
// dialog blocks every script in its tab, and the browser tells of it only those clients that
// listened before it opened. Safe to use from any thread.
class DialogWatch {
public:
    virtual ~DialogWatch() = default;

    // Starts listening to the tab unless it already is; returns once the listener hears the
    // tab's dialogs, or gives up quietly when the tab does not let it (a tab already blocked).
    virtual void watch(const std::string& targetId) = 0;
    struct CallStart {
        bool heard = false;                  // the tab's dialogs are heard, and answered during the call
        std::optional<PageDialog> answered;  // the dialog left open before the call, answered now
    };
    // Watches the tab and counts a call of Velmor's running there until endCall. A dialog
    // open already is answered by acceptedByDefault; one that opens while the call runs is
    // answered so at once, as the call would wait for the page forever. Only the watch
    // answers: two clients answering in turn could give one dialog's answer to the next.
    virtual CallStart beginCall(const std::string& targetId) = 0;
    // The first dialog answered while the call ran.
    virtual std::optional<PageDialog> endCall(const std::string& targetId) = 0;
    // Whether the watched tab has not yet answered its listener: a page blocked by a dialog
    // that opened before Velmor watched it, or busy with a script that runs on and on.
    virtual bool pageSilent(const std::string& targetId) const = 0;
    // The dialog open in the tab, as last heard.
    virtual std::optional<PageDialog> openDialog(const std::string& targetId) const = 0;
    // The watched tabs with a dialog open, the latest opened first.
    virtual std::vector<std::string> tabsWithDialogs() const = 0;
    // Returns once every watched tab's listener has read what the browser told it before
    // this call (or the connect limit has passed). The listeners hear of a dialog a moment
    // after it opens: one that someone has already seen open is known after this.
    virtual void catchUp() = 0;
    // Accepts or dismisses the open dialog, with `promptText` as a prompt's answer; fails
    // when the tab shows none.
    virtual Result<PageDialog> answer(const std::string& targetId, bool accept,
                                      const std::optional<std::string>& promptText) = 0;
};

// The listener of a Chromium or Chrome DevTools endpoint: one WebSocket per watched tab, read
// by a thread of its own. At most `kMaxWatchedTabs` tabs; the one worked in least recently
// makes way for a new one, and a tab that closes is forgotten.
std::unique_ptr<DialogWatch> makeChromiumDialogWatch(std::string host, uint16_t port,
                                                     std::chrono::milliseconds connectLimit);

inline constexpr size_t kMaxWatchedTabs = 32;

}  // namespace velmor::browser
