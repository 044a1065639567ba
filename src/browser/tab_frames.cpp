#include "browser/tab_frames.h"

#include "base/json_fields.h"
#include "browser/frame_scan.h"

#include <algorithm>

namespace velmor::browser {

using nlohmann::json;

namespace {

constexpr char kTargetStep = '/';

struct LocalFrame {
    std::string id;
    std::string name;
    std::string url;
};

// The frames in the renderer `session` reaches, depth first in document order, at most `most`.
Result<std::vector<LocalFrame>> localFrames(DevToolsSession& session, size_t most,
                                            std::optional<std::chrono::milliseconds> limit) {
    auto tree = session.call("Page.getFrameTree", json::object(), limit);
    if (!tree) return fail(tree.error());
    std::vector<LocalFrame> frames;
    std::vector<const json*> pending;
    if (const json* root = findField(*tree, "frameTree")) pending.push_back(root);
    while (!pending.empty() && frames.size() < most) {
        const json* node = pending.back();
        pending.pop_back();
        if (!node->is_object()) continue;
        const json* frame = findField(*node, "frame");
        const std::string* id = frame && frame->is_object() ? stringField(*frame, "id") : nullptr;
        if (!id) continue;
        frames.push_back({*id, stringFieldOr(*frame, "name"), stringFieldOr(*frame, "url")});
        if (const json* children = findField(*node, "childFrames"); children && children->is_array())
            for (auto child = children->rbegin(); child != children->rend(); ++child) pending.push_back(&*child);
    }
    if (frames.empty()) return fail("Chrome: the tab has no main frame");
    return frames;
}

}  // namespace

Result<void> visitTabFrames(DevToolsSession& tab, std::optional<std::chrono::milliseconds> limit,
                            const std::function<bool(const TabFrame&)>& visit,
                            std::vector<UnreachedFrame>* unreached) {
    auto own = localFrames(tab, kMaxScannedFrames, limit);
    if (!own) return fail(own.error());
    size_t visited = 0;
    for (const auto& frame : *own) {
        ++visited;
        if (!visit({frame.id, frame.id, frame.name, frame.url, &tab, limit})) return succeeded();
    }
    // What one command in a frame of another site may take: what is left of their budget.
    auto budgetEnds = std::chrono::steady_clock::now() + kOtherSiteFramesBudget;
    auto commandLimit = [&] {
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(budgetEnds - std::chrono::steady_clock::now());
        return std::max(std::chrono::milliseconds(0), std::min({left, kOtherSiteFrameLimit, limit.value_or(left)}));
    };
    constexpr const char* kOutOfTime = "not read: the frames of other sites took all the time they are given";
    // Breadth first over the renderers: the tab's, then those of the other sites' frames in it.
    std::vector<std::unique_ptr<DevToolsSession>> renderers;
    std::vector<DevToolsSession*> pending{&tab};
    for (size_t next = 0; next < pending.size() && visited < kMaxScannedFrames && tab.usable(); ++next) {
        if (commandLimit().count() == 0) break;
        auto children = pending[next]->attachChildFrames(kMaxScannedFrames - visited, commandLimit());
        if (!children) continue;
        for (auto& child : *children) {
            if (visited >= kMaxScannedFrames || !tab.usable()) break;
            auto frames = commandLimit().count() == 0
                              ? Result<std::vector<LocalFrame>>(fail(kOutOfTime))
                              : localFrames(*child.session, kMaxScannedFrames - visited, commandLimit());
            if (!frames) {
                if (unreached) unreached->push_back({child.url, frames.error()});
                continue;
            }
            DevToolsSession* session = child.session.get();
            renderers.push_back(std::move(child.session));
            pending.push_back(session);
            for (const auto& frame : *frames) {
                ++visited;
                if (!visit({child.targetId + kTargetStep + frame.id, frame.id, frame.name, frame.url, session,
                            commandLimit()}))
                    return succeeded();
            }
        }
    }
    return succeeded();
}

Result<TabFrame> reachFrame(DevToolsSession& tab, const std::string& key, std::unique_ptr<DevToolsSession>& attached,
                            std::optional<std::chrono::milliseconds> limit) {
    auto step = key.find(kTargetStep);
    if (step == std::string::npos) return TabFrame{key, key, "", "", &tab, limit};
    auto session = tab.attachFrame(key.substr(0, step), limit);
    if (!session) return fail(session.error());
    attached = std::move(*session);
    return TabFrame{key, key.substr(step + 1), "", "", attached.get(), limit};
}

Result<TabFrame> mainFrame(DevToolsSession& tab, std::optional<std::chrono::milliseconds> limit) {
    auto frames = localFrames(tab, 1, limit);
    if (!frames) return fail(frames.error());
    const auto& main = frames->front();
    return TabFrame{main.id, main.id, main.name, main.url, &tab, limit};
}

}  // namespace velmor::browser
