#pragma once

#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <vector>

namespace velmor::browser {

// The most frames of one tab a scan reads (the tab's own frame included).
inline constexpr size_t kMaxScannedFrames = 16;

// The scan of one frame below the tab's main frame.
struct FrameScan {
    std::string frameKey;  // the frame as TabFrame::key names it
    std::string frameName;  // the frame element's name, as the frame tree tells it
    nlohmann::json result;  // what the scan script found in that frame
};

// A scanned element's selector names the frame it is in (by its key) when that is not the
// main frame.
std::string inFrame(const std::string& frameKey, const std::string& selector);
// The frame's key (none: the main frame) and the selector within it.
struct FrameSelector {
    std::optional<std::string> frameKey;
    std::string selector;
};
FrameSelector splitFrameSelector(const std::string& selector);

// One scan of the whole tab: the main frame's, with each frame's tools (selectors naming
// their frame), headings and text after it. A name that more than one frame uses is given
// the frame's context in each frame below the main one (its name, else its title, heading
// or file name); descriptions of a frame's tools say which frame.
nlohmann::json mergedFrameScans(nlohmann::json main, const std::vector<FrameScan>& frames);

}  // namespace velmor::browser
