#pragma once

#include "platform/linux/mutter_session.h"
#include "platform/linux/pipewire_frames.h"
#include "platform/screen_frames.h"
#include "platform/window_capture.h"
#include "platform/windows.h"

namespace velmor::platform {

// The screen as mutter's screen cast of the session's monitor shows it (PipeWire frames).
class MutterScreenFrames final : public ScreenFrames {
public:
    explicit MutterScreenFrames(MutterSession& session) : session_(session) {}

    Result<RgbImage> copy(const Frame& area) override;

private:
    MutterSession& session_;
    PipewireFrames frames_;
};

// Screenshots of an application's window. mutter tells no client where a window is, so the
// picture is of the monitor that shows it (all of the window when it is maximized).
class MutterCapture final : public WindowCapture {
public:
    MutterCapture(ScreenFrames& frames, Windows& windows) : frames_(frames), windows_(windows) {}

    Result<std::vector<uint8_t>> captureFrontWindow(int32_t pid) override;

private:
    ScreenFrames& frames_;
    Windows& windows_;
};

}  // namespace velmor::platform
