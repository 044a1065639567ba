#pragma once

#include <chrono>
#include <filesystem>
#include <optional>
#include <string>

namespace velmor::media {

// "velmor-demo-" + whole seconds since 1970 + ".mp4": the name of a recording started at `when`.
std::string demoFileName(std::chrono::system_clock::time_point when);

// The recording in `folder` whose name comes last in text order (the newest for names of
// equal length); nothing when the folder holds none or cannot be read.
std::optional<std::filesystem::path> newestDemoFile(const std::filesystem::path& folder);

}  // namespace velmor::media
