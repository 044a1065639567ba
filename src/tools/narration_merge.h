#pragma once

#include "base/result.h"

#include <string>
#include <vector>

namespace velmor::tools {

// A narration clip and the moment of the recording at which it was spoken.
struct NarrationSegment {
    double offsetSeconds = 0;
    std::string clipPath;
};

// ffmpeg's filter graph: each clip delayed to its moment on both channels, all mixed into
// one track labelled [narration] without lowering their volume.
std::string narrationFilterGraph(const std::vector<NarrationSegment>& segments);

// ffmpeg's arguments (without the program) that lay the clips under the video, copying the
// video stream, into `outputPath`.
std::vector<std::string> narrationMergeArguments(const std::string& videoPath,
                                                 const std::vector<NarrationSegment>& segments,
                                                 const std::string& outputPath);

// Lays the clips under the silent recording at `videoPath`, which the result replaces.
// Blocks until ffmpeg has finished. The value is the video's path; the errors are
// "ffmpeg launch failed: " + reason and "ffmpeg exit " + status, the silent video then
// left as it was.
Result<std::string> mergeNarrationIntoVideo(const std::string& ffmpegProgram, const std::string& videoPath,
                                            const std::vector<NarrationSegment>& segments);

}  // namespace velmor::tools
