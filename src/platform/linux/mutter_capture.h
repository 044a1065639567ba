#pragma once

#include "platform/linux/remote_desktop.h"
#include "platform/linux/pipewire_frames.h"
#include "platform/screen_frames.h"
#include "platform/window_capture.h"
#include "platform/windows.h"

namespace velmor::platform {

// The screen as mutter's screen cast of the session's monitor shows it (PipeWire frames).
class MutterScreenFrames final : public ScreenFrames {
public:
    explicit MutterScreenFrames(RemoteDesktop& session) : session_(session) {}

    Result<RgbImage> copy(const Frame& area) override;

private:
    RemoteDesktop& session_;
    PipewireFrames frames_;
};

// Screenshots of an application's window. mutter tells no client where a window is, so the
// picture is of the monitor that shows it (all of the window when it is maximized). Why the
// screen cast cannot start (the user's consent still pending or refused) is the answer.
class MutterCapture final : public WindowCapture {
public:
    MutterCapture(RemoteDesktop& session, ScreenFrames& frames, Windows& windows)
        : session_(session), frames_(frames), windows_(windows) {}

    Result<std::vector<uint8_t>> captureFrontWindow(int32_t pid) override;

private:
    RemoteDesktop& session_;
    ScreenFrames& frames_;
    Windows& windows_;
};

}  // namespace velmor::platform
