#include "browser/frame_scan.h"

#include "base/text.h"

#include <map>

namespace velmor::browser {

using nlohmann::json;

namespace {

constexpr const char* kFramePrefix = "frame ";
// The same step the page scripts take into a shadow root: "into what the host holds".
constexpr const char* kStep = " >>> ";
constexpr size_t kMaxNameLength = 64;

std::string text(const json& object, const char* key) {
    auto found = object.find(key);
    return found != object.end() && found->is_string() ? found->get<std::string>() : std::string();
}

// What tells a frame apart to a reader: its element's name, the title or first heading of
// its document, else the file it shows.
std::string frameContext(const FrameScan& frame) {
    if (!frame.frameName.empty()) return frame.frameName;
    if (std::string title = text(frame.result, "title"); !title.empty()) return title;
    if (auto headings = frame.result.find("headings");
        headings != frame.result.end() && headings->is_array() && !headings->empty() && (*headings)[0].is_string()) {
        std::string heading = (*headings)[0].get<std::string>();
        auto colon = heading.find(": ");
        return colon == std::string::npos ? heading : heading.substr(colon + 2);
    }
    std::string url = text(frame.result, "url");
    url = url.substr(0, url.find_first_of("?#"));
    return url.substr(url.rfind('/') + 1);
}

json toolsOf(const json& scan) {
    auto tools = scan.find("tools");
    return tools != scan.end() && tools->is_array() ? *tools : json::array();
}

}  // namespace

std::string inFrame(const std::string& frameKey, const std::string& selector) {
    return kFramePrefix + frameKey + kStep + selector;
}

FrameSelector splitFrameSelector(const std::string& selector) {
    if (!selector.starts_with(kFramePrefix)) return {std::nullopt, selector};
    auto step = selector.find(kStep);
    if (step == std::string::npos) return {std::nullopt, selector};
    size_t start = std::string(kFramePrefix).size();
    return {selector.substr(start, step - start), selector.substr(step + std::string(kStep).size())};
}

json mergedFrameScans(json main, const std::vector<FrameScan>& frames) {
    if (!main.is_object() || frames.empty()) return main;
    std::map<std::string, int> uses;
    for (const auto& tool : toolsOf(main)) ++uses[text(tool, "name")];
    for (const auto& frame : frames)
        for (const auto& tool : toolsOf(frame.result)) ++uses[text(tool, "name")];

    json tools = toolsOf(main);
    json headings = main.value("headings", json::array());
    std::string content = text(main, "content");
    for (const auto& frame : frames) {
        if (!frame.result.is_object()) continue;
        std::string context = frameContext(frame);
        std::string contextSlug = toSlug(context, kMaxNameLength);
        for (json tool : toolsOf(frame.result)) {
            if (!tool.is_object()) continue;
            std::string name = text(tool, "name");
            if (uses[name] > 1 && !contextSlug.empty()) {
                name = (name + "_" + contextSlug).substr(0, kMaxNameLength);
                while (name.ends_with('_')) name.pop_back();
            }
            tool["name"] = name;
            tool["selector"] = inFrame(frame.frameKey, text(tool, "selector"));
            tool["description"] = text(tool, "description") + " in frame \"" + context + "\"";
            tools.push_back(std::move(tool));
        }
        if (auto more = frame.result.find("headings"); more != frame.result.end() && more->is_array())
            for (const auto& heading : *more) headings.push_back(heading);
        if (std::string more = text(frame.result, "content"); !more.empty())
            content += (content.empty() ? "" : " ") + std::string("[frame \"") + context + "\"] " + more;
    }
    main["tools"] = std::move(tools);
    main["headings"] = std::move(headings);
    main["content"] = std::move(content);
    main["toolCount"] = main["tools"].size();
    return main;
}

}  // namespace velmor::browser
