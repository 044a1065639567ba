#pragma once

#include <nlohmann/json.hpp>
#include <string>
#include <vector>

namespace velmor::test {

// What ffprobe says about a media file: {"streams": [...], "format": {...}}; null when it
// cannot read the file.
nlohmann::json probeMedia(const std::string& path);
// The first stream of the type ("video", "audio"); null when there is none.
nlohmann::json streamOf(const nlohmann::json& probe, const std::string& type);
// A stream's or the file's duration in seconds; 0 when unknown.
double durationOf(const nlohmann::json& entry);

// Where the audio track falls silent for good (quieter than -50 dB to its end), in seconds
// from the start; the track's end when it sounds to the last; negative when unreadable.
double soundEndOf(const std::string& path);

// Runs a program to its end with its output discarded; its exit status.
int runQuietly(const std::vector<std::string>& argv);

}  // namespace velmor::test
