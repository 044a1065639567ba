// The screenshot tool: the target's front window as a PNG of the window's size whose
// pixels are the window's, and its errors.
#include "desktop_test.h"

#include "fixtures/desktop_listing.h"
#include "support/eventually.h"

#include <boost/beast/core/detail/base64.hpp>
#include <png.h>

namespace velmor::test {
namespace {

using nlohmann::json;

using DesktopScreenshot = InputFixtureTest;

struct Decoded {
    int width = 0, height = 0;
    std::vector<uint8_t> rgb;
    std::vector<int> at(int x, int y) const {
        const uint8_t* pixel = &rgb[(static_cast<size_t>(y) * width + x) * 3];
        return {pixel[0], pixel[1], pixel[2]};
    }
};

Decoded decodePng(const std::string& base64) {
    namespace codec = boost::beast::detail::base64;
    std::vector<uint8_t> png(codec::decoded_size(base64.size()));
    png.resize(codec::decode(png.data(), base64.data(), base64.size()).first);
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
    EXPECT_EQ(call("screenshot"), json({{"error", "no active session"}}));
    start();
    auto window = testDesktop().windows.focusedWindowOf(app->id());
    ASSERT_TRUE(window);
    platform::Frame patch = where("patch");
    tools::ToolAnswer shot = router.callTool("screenshot", json::object());
    ASSERT_TRUE(shot.image()) << shot.result().dump();
    Decoded image = decodePng(shot.image()->pngBase64);
    ASSERT_GT(image.width, 0) << "not a PNG";
    EXPECT_EQ(image.width, window->frame.width);
    EXPECT_EQ(image.height, window->frame.height);
    // The middle of the patch is pure magenta, its surroundings are not.
    const std::vector<int> magenta = {255, 0, 255};
    EXPECT_EQ(image.at(patch.x + patch.width / 2, patch.y + patch.height / 2), magenta);
    EXPECT_NE(image.at(patch.x + patch.width + 10, patch.y + patch.height / 2), magenta);

    app->send("hide");
    ASSERT_TRUE(app->printed("hidden"));
    eventually([&] { return !(shot = router.callTool("screenshot", json::object())).image(); }, std::chrono::seconds(1));
    ASSERT_FALSE(shot.image());
    EXPECT_EQ(shot.result(), json({{"error", "target app window not found (pid " + std::to_string(app->id()) + ")"}}));
}

}  // namespace
}  // namespace velmor::test
