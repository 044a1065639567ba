#include "tools/narration_merge.h"

#include "base/child_process.h"
#include "base/log.h"
#include "base/private_file.h"
#include "base/text.h"
#include "base/utf8.h"

#include <filesystem>

namespace velmor::tools {

namespace {

constexpr const char* kCategory = "recorder";
constexpr size_t kLoggedDiagnostics = 200;  // characters: at most four bytes each

std::string replaceAll(std::string text, const std::string& from, const std::string& to) {
    for (size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size()))
        text.replace(at, from.size(), to);
    return text;
}

}  // namespace

std::string narrationFilterGraph(const std::vector<NarrationSegment>& segments) {
    std::string graph, mix;
    for (size_t k = 0; k < segments.size(); ++k) {
        // Whole milliseconds, cut rather than rounded: a clip is never placed later than spoken.
        auto delay = std::to_string(static_cast<long long>(segments[k].offsetSeconds * 1000));
        std::string label = "[a" + std::to_string(k) + "]";
        graph += "[" + std::to_string(k + 1) + ":a]adelay=" + delay + "|" + delay + label + ";";
        mix += label;
    }
    return graph + mix + "amix=inputs=" + std::to_string(segments.size()) + ":normalize=0[narration]";
}

std::vector<std::string> narrationMergeArguments(const std::string& videoPath,
                                                 const std::vector<NarrationSegment>& segments,
                                                 const std::string& outputPath) {
    std::vector<std::string> args{"-i", videoPath};
    for (const auto& segment : segments) {
        args.push_back("-i");
        args.push_back(segment.clipPath);
    }
    args.push_back("-filter_complex");
    args.push_back(narrationFilterGraph(segments));
    for (const char* arg : {"-map", "0:v", "-map", "[narration]", "-c:v", "copy", "-c:a", "aac", "-b:a", "192k", "-y"})
        args.push_back(arg);
    args.push_back(outputPath);
    return args;
}

Result<std::string> mergeNarrationIntoVideo(const std::string& ffmpegProgram, const std::string& videoPath,
                                            const std::vector<NarrationSegment>& segments) {
    std::string outputPath = replaceAll(videoPath, ".mp4", "-narrated.mp4");
    // Made private before ffmpeg writes into it (it keeps the mode), as the recording was.
    std::error_code ignored;
    std::filesystem::remove(outputPath, ignored);
    VELMOR_RETURN_IF_FAILED(createPrivateFile(outputPath));
    std::vector<std::string> argv{ffmpegProgram};
    for (auto& arg : narrationMergeArguments(videoPath, segments, outputPath)) argv.push_back(std::move(arg));

    auto ffmpeg = ChildProcess::start(argv, {.outputLimit = 0, .errorLimit = 4 * kLoggedDiagnostics});
    if (!ffmpeg) return fail("ffmpeg launch failed: " + ffmpeg.error());
    int status = (*ffmpeg)->waitForExit();
    if (status != 0) {
        std::string diagnostics = (*ffmpeg)->errors();
        if (diagnostics.empty()) diagnostics = "unknown error";
        Log::error(kCategory, "ffmpeg failed: " + utf8Prefix(diagnostics, kLoggedDiagnostics));
        return fail("ffmpeg exit " + std::to_string(status));
    }

    std::filesystem::remove(videoPath, ignored);
    std::filesystem::rename(outputPath, videoPath, ignored);
    Log::info(kCategory, "Merged " + std::to_string(segments.size()) + " narration clips into " + videoPath);
    return videoPath;
}

}  // namespace velmor::tools
