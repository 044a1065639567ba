#include "automation/desktop_test.h"
#include "media/media_probe.h"
#include "media/window_recorder.h"
#include "fixtures/desktop_listing.h"

#include <chrono>
#include <filesystem>
#include <thread>

namespace velmor::test {
namespace {

using namespace std::chrono_literals;

class WindowRecorderTest : public DesktopTest {
protected:
    WindowRecorderTest() : recorder("ffmpeg", home.path() + "/Videos", test::testDesktop().windows) {
        session.setOnSessionStarted([this] { recorder.clearCachedSelection(); });
    }

    // Records for `length`, stops, and answers what ffprobe says about the saved file.
    nlohmann::json recordFor(std::chrono::milliseconds length) {
        std::this_thread::sleep_for(length);
        auto saved = recorder.stopRecording();
        EXPECT_TRUE(saved) << saved.error();
        std::string path = saved ? *saved : std::string();
        EXPECT_TRUE(path.starts_with(home.path() + "/Videos/velmor-demo-") && path.ends_with(".mp4")) << path;
        EXPECT_GT(std::filesystem::file_size(path), 1000u);
        auto probe = probeMedia(path);
        auto video = streamOf(probe, "video");
        EXPECT_EQ(video.value("codec_name", ""), "h264") << probe.dump();
        EXPECT_EQ(video.value("pix_fmt", ""), "yuv420p");
        EXPECT_GE(durationOf(probe.value("format", nlohmann::json())), length.count() / 1000.0 - 0.5);
        EXPECT_LE(durationOf(probe.value("format", nlohmann::json())), length.count() / 1000.0 + 3);
        return video;
    }

    static std::pair<int, int> evenSize(const platform::Frame& frame) {
        return {frame.width / 2 * 2, frame.height / 2 * 2};
    }
    static std::pair<int, int> sizeOf(const nlohmann::json& video) {
        return {video.value("width", 0), video.value("height", 0)};
    }

    media::WindowRecorder recorder;
};

TEST_F(WindowRecorderTest, RecordsTheTargetsWindowUntilANewSessionThenTheWholeScreen) {
    ASSERT_FALSE(start().contains("error"));
    auto& windows = test::testDesktop().windows;
    auto window = windows.frontWindowOf(app->pid());
    ASSERT_TRUE(window);

    ASSERT_TRUE(recorder.startRecording(app->pid()).ok());
    EXPECT_EQ(recorder.startRecording(app->pid()).error(), "already recording");
    EXPECT_EQ(recorder.startDisplayRecording().error(), "already recording");
    EXPECT_EQ(sizeOf(recordFor(2000ms)), evenSize(window->frame));
    EXPECT_EQ(recorder.stopRecording().error(), "not recording");

    // The window chosen first is kept, even after the window has grown...
    ASSERT_TRUE(windows.changeFrame(window->id, {.width = window->frame.width + 41, .height = window->frame.height + 31}));
    std::this_thread::sleep_for(500ms);
    ASSERT_TRUE(recorder.startRecording(app->pid()).ok());
    EXPECT_EQ(sizeOf(recordFor(1000ms)), evenSize(window->frame));
    // ...until a new session starts.
    ASSERT_FALSE(start().contains("error"));
    auto grown = windows.frontWindowOf(app->pid());
    ASSERT_TRUE(recorder.startRecording(app->pid()).ok());
    EXPECT_EQ(sizeOf(recordFor(1000ms)), evenSize(grown->frame));
    EXPECT_NE(evenSize(grown->frame), evenSize(window->frame));

    ASSERT_TRUE(recorder.startDisplayRecording().ok());
    EXPECT_EQ(sizeOf(recordFor(1500ms)), evenSize(*windows.screen()));
    // Four recordings, four files: one started within the second of another did not overwrite it.
    size_t files = 0;
    for (const auto& entry : std::filesystem::directory_iterator(home.path() + "/Videos")) {
        files += entry.is_regular_file();
        EXPECT_EQ(test::fileMode(entry.path().string()), 0600u) << entry.path() << ": a recording shows what was on screen";
    }
    EXPECT_EQ(files, 4u);
}

TEST(RecordableArea, KeepsTheOnScreenPartWithEvenSides) {
    platform::Frame screen{0, 0, 1280, 1024};
    auto inside = media::recordableArea({100, 50, 641, 481}, screen);
    EXPECT_EQ(std::tuple(inside->x, inside->y, inside->width, inside->height), std::tuple(100, 50, 640, 480));
    auto overhanging = media::recordableArea({-21, 1000, 300, 300}, screen);
    EXPECT_EQ(std::tuple(overhanging->x, overhanging->y, overhanging->width, overhanging->height),
              std::tuple(0, 1000, 278, 24));
    EXPECT_FALSE(media::recordableArea({1280, 0, 300, 300}, screen));
    EXPECT_FALSE(media::recordableArea({0, 0, 1, 500}, screen));
}

}  // namespace
}  // namespace velmor::test
