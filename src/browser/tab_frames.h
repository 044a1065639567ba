#pragma once

#include "base/result.h"
#include "browser/devtools_client.h"

#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace velmor::browser {

// A frame of a tab and the session that reaches it: the tab's own for the frames that run in
// the tab's renderer, an attached one for a frame of another site (and the frames inside it),
// which the browser runs in a process of its own.
struct TabFrame {
    // How a scan's selectors name the frame: its id, after the id of the other site's frame
    // target it runs in ("TARGET/FRAME") when it runs in one.
    std::string key;
    std::string id;
    std::string name;  // the frame element's name
    std::string url;
    DevToolsSession* session = nullptr;
    // How long one command there may take when it is visited in a look over all frames
    // (none: the usual limit).
    std::optional<std::chrono::milliseconds> limit;
};

// How long a frame of another site may take to answer one command during a look over all
// frames, and all of them together. It runs in a process of its own, which can hang while the
// tab stays responsive; one that does costs the look this long and leaves out the frames not
// yet visited.
inline constexpr std::chrono::milliseconds kOtherSiteFrameLimit{5'000};
inline constexpr std::chrono::milliseconds kOtherSiteFramesBudget{10'000};

// Visits the tab's frames (the main frame first, each frame after its parent, at most
// kMaxScannedFrames) until `visit` answers false. The frames of the tab's own renderer come
// first, then each frame of another site with the frames inside it, each attached only when
// it is reached, so that one that never answers costs only what comes after it. Fails when
// even the main frame cannot be read; a frame of another site that cannot be reached is told
// of in `unreached` and left out, with the frames inside it.
struct UnreachedFrame {
    std::string url;
    std::string error;
};
Result<void> visitTabFrames(DevToolsSession& tab, std::optional<std::chrono::milliseconds> limit,
                            const std::function<bool(const TabFrame&)>& visit,
                            std::vector<UnreachedFrame>* unreached = nullptr);

// The frame a scan named by `key`, with a session that reaches it; `attached` keeps that
// session (for a frame of another site) for as long as the frame is worked in.
Result<TabFrame> reachFrame(DevToolsSession& tab, const std::string& key,
                            std::unique_ptr<DevToolsSession>& attached,
                            std::optional<std::chrono::milliseconds> limit = std::nullopt);

// The tab's main frame (the first in its frame tree).
Result<TabFrame> mainFrame(DevToolsSession& tab, std::optional<std::chrono::milliseconds> limit = std::nullopt);

}  // namespace velmor::browser
