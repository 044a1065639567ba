#pragma once

#include <functional>
#include <string>

// The GTK main loop is the shell's only thread for widgets; work from other threads
// reaches the widgets through these.
namespace velmor::shell {

// Runs `work` on the main loop, from any thread.
void onMainThread(std::function<void()> work);
// Runs `work` on the main loop once, `milliseconds` from now.
void after(unsigned milliseconds, std::function<void()> work);
// Puts UTF-8 text on the desktop's clipboard; the main loop serves it to other applications
// and hands it to a clipboard manager, if one runs, when Velmor quits.
void copyToClipboard(const std::string& text);

}  // namespace velmor::shell
