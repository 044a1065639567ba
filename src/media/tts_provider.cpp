#include "media/tts_provider.h"

#include "base/call_context.h"

#include <algorithm>
#include <atomic>
#include <thread>

namespace velmor::media {

PrefetchCounts TTSProvider::prefetch(const std::vector<SpeechLine>& lines) {
    PrefetchCounts counts;
    std::vector<const SpeechLine*> uncached;
    for (const auto& line : lines) {
        if (getCachedAudio(line.text, line.voice)) ++counts.succeeded;
        else uncached.push_back(&line);
    }
    std::atomic<size_t> next{0};
    std::atomic<int> succeeded{0};
    std::atomic<int> failed{0};
    // The fetching threads work for this call: they stop taking lines once it is cancelled,
    // and each line fetched counts towards its progress.
    auto call = shareCurrentCall();
    const auto total = static_cast<double>(lines.size());
    call->progress(counts.succeeded, total, "Fetching " + std::to_string(uncached.size()) + " lines");
    auto work = [&] {
        CallScope scope(call);
        for (size_t i = next++; i < uncached.size() && !call->cancelled(); i = next++) {
            if (fetchAudio(uncached[i]->text, uncached[i]->voice)) ++succeeded;
            else ++failed;
            int done = counts.succeeded + succeeded + failed;
            call->progress(done, total, std::to_string(done) + " of " + std::to_string(lines.size()) + " lines done");
        }
    };
    std::vector<std::jthread> workers;
    size_t workerCount = std::min<size_t>(uncached.size(), kMaxParallelFetches);
    for (size_t i = 0; i < workerCount; ++i) workers.emplace_back(work);
    workers.clear();  // joins
    counts.succeeded += succeeded;
    counts.failed += failed;
    return counts;
}

}  // namespace velmor::media
