// The screenshot tool: the target's front window as a PNG of the window's size whose
// pixels are the window's, and its errors.
#include "input_desktop_test.h"

#include "fixtures/desktop_listing.h"

#include <png.h>

#include <thread>

namespace velmor::test {
namespace {

using nlohmann::json;

class DesktopScreenshot : public InputDesktopTest {};

std::vector<uint8_t> fromBase64(const std::string& text) {
    auto value = [](char c) -> int {
        if (c >= 'A' && c <= 'Z') return c - 'A';
        if (c >= 'a' && c <= 'z') return c - 'a' + 26;
        if (c >= '0' && c <= '9') return c - '0' + 52;
        return c == '+' ? 62 : c == '/' ? 63 : -1;
    };
    std::vector<uint8_t> bytes;
    uint32_t bits = 0;
    int count = 0;
    for (char c : text) {
        int v = value(c);
        if (v < 0) break;
        bits = (bits << 6) | static_cast<uint32_t>(v);
        if ((count += 6) >= 8) {
            count -= 8;
            bytes.push_back(static_cast<uint8_t>(bits >> count));
        }
    }
    return bytes;
}

struct Decoded {
    int width = 0, height = 0;
    std::vector<uint8_t> rgb;
    const uint8_t* at(int x, int y) const { return &rgb[(static_cast<size_t>(y) * width + x) * 3]; }
};

Decoded decodePng(const std::vector<uint8_t>& png) {
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    Decoded decoded;
    if (!png_image_begin_read_from_memory(&image, png.data(), png.size())) return decoded;
    image.format = PNG_FORMAT_RGB;
    decoded.rgb.resize(PNG_IMAGE_SIZE(image));
    if (!png_image_finish_read(&image, nullptr, decoded.rgb.data(), 0, nullptr)) return {};
    decoded.width = static_cast<int>(image.width);
    decoded.height = static_cast<int>(image.height);
    return decoded;
}

TEST_F(DesktopScreenshot, IsAPngOfTheWindowShowingItsPixels) {
    start();
    auto window = testDesktop().windows.focusedWindowOf(app->pid());
    ASSERT_TRUE(window);
    platform::Frame patch = where("patch");
    json answer = call("screenshot");
    ASSERT_TRUE(answer.contains("__image__")) << answer.dump();
    ASSERT_EQ(answer.size(), 1u);
    Decoded image = decodePng(fromBase64(answer.at("__image__")));
    ASSERT_GT(image.width, 0) << "not a PNG";
    EXPECT_EQ(image.width, window->frame.width);
    EXPECT_EQ(image.height, window->frame.height);
    // The middle of the patch is pure magenta, its surroundings are not.
    const uint8_t* inside = image.at(patch.x + patch.width / 2, patch.y + patch.height / 2);
    EXPECT_EQ((std::vector<int>{inside[0], inside[1], inside[2]}), (std::vector<int>{255, 0, 255}));
    const uint8_t* beside = image.at(patch.x + patch.width + 10, patch.y + patch.height / 2);
    EXPECT_NE((std::vector<int>{beside[0], beside[1], beside[2]}), (std::vector<int>{255, 0, 255}));
}

TEST_F(DesktopScreenshot, AnswersItsErrorsWithoutSessionAndWithoutWindow) {
    EXPECT_EQ(call("screenshot"), json({{"error", "no active session"}}));
    start();
    app->send("hide");
    ASSERT_TRUE(app->printed("hidden"));
    json answer;
    for (int attempt = 0; attempt < 20; ++attempt) {
        answer = call("screenshot");
        if (!answer.contains("__image__")) break;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    EXPECT_EQ(answer, json({{"error", "target app window not found (pid " + std::to_string(app->pid()) + ")"}}));
}

}  // namespace
}  // namespace velmor::test
