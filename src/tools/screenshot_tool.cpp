#include "tools/screenshot_tool.h"

#include <string>
#include <vector>

namespace velmor::tools {

using nlohmann::json;

namespace {

// Standard alphabet, padded, without line breaks.
std::string base64(const std::vector<uint8_t>& bytes) {
    static constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string text;
    text.reserve((bytes.size() + 2) / 3 * 4);
    size_t i = 0;
    for (; i + 2 < bytes.size(); i += 3) {
        uint32_t group = (bytes[i] << 16) | (bytes[i + 1] << 8) | bytes[i + 2];
        text += kAlphabet[(group >> 18) & 63];
        text += kAlphabet[(group >> 12) & 63];
        text += kAlphabet[(group >> 6) & 63];
        text += kAlphabet[group & 63];
    }
    if (size_t left = bytes.size() - i; left > 0) {
        uint32_t group = bytes[i] << 16 | (left == 2 ? bytes[i + 1] << 8 : 0);
        text += kAlphabet[(group >> 18) & 63];
        text += kAlphabet[(group >> 12) & 63];
        text += left == 2 ? kAlphabet[(group >> 6) & 63] : '=';
        text += '=';
    }
    return text;
}

}  // namespace

void installScreenshotTool(ToolRouter& router, automation::SessionManager& session, platform::WindowCapture& capture) {
    router.registry().handle("screenshot", [&session, &capture](const Arguments&) -> ToolAnswer {
        auto target = session.liveTarget();
        if (!target) return errorResult(target.error());
        int32_t pid = *target;
        auto png = capture.captureFrontWindow(pid);
        if (!png) return errorResult(png.error());
        return ToolImage{base64(*png)};
    });
}

}  // namespace velmor::tools
