#include "session_start_timing.h"

#include "bench_stats.h"

#include <chrono>
#include <cstdio>
#include <vector>

namespace velmor::bench {

namespace {

constexpr double kSettleMilliseconds = 300;

}  // namespace

void timeSessionStarts(automation::SessionManager& session, const std::string& appName, const std::string& label,
                       int samples) {
    std::vector<double> starts;
    size_t tools = 0;
    for (int i = 0; i < samples; ++i) {
        auto start = std::chrono::steady_clock::now();
        auto answer = session.startSession(appName, std::nullopt);
        starts.push_back(millisecondsSince(start) - kSettleMilliseconds);
        if (!answer) std::fprintf(stderr, "session_start: %s\n", answer.error().c_str());
        else tools = answer->at("element_count").get<size_t>();
        static_cast<void>(session.endSession(std::nullopt));
    }
    std::printf("%s\n", summarise("session_start, " + label + " (" + std::to_string(tools) +
                                      " tools), less the 0.3 s settle",
                                  starts)
                            .c_str());
}

}  // namespace velmor::bench
