#include "media/recording_files.h"

namespace velmor::media {

namespace {

constexpr std::string_view kPrefix = "velmor-demo-";
constexpr std::string_view kSuffix = ".mp4";

}  // namespace

std::string demoFileName(std::chrono::system_clock::time_point when) {
    auto seconds = std::chrono::duration_cast<std::chrono::seconds>(when.time_since_epoch()).count();
    return std::string(kPrefix) + std::to_string(seconds) + std::string(kSuffix);
}

std::optional<std::filesystem::path> newestDemoFile(const std::filesystem::path& folder) {
    std::optional<std::string> newest;
    std::error_code error;
    std::filesystem::directory_iterator entries(folder, error);
    if (error) return std::nullopt;
    for (const auto& entry : entries) {
        std::string name = entry.path().filename().string();
        if (name.size() < kPrefix.size() + kSuffix.size() || !name.starts_with(kPrefix) || !name.ends_with(kSuffix))
            continue;
        if (!newest || name > *newest) newest = name;
    }
    if (!newest) return std::nullopt;
    return folder / *newest;
}

}  // namespace velmor::media
