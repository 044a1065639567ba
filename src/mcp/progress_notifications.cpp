#include "mcp/progress_notifications.h"

#include "base/guarded.h"
#include "base/json_text.h"

#include <chrono>
#include <memory>
#include <optional>

namespace velmor::mcp {

namespace {

using Clock = std::chrono::steady_clock;
constexpr auto kShortestInterval = std::chrono::milliseconds(250);

struct SentSoFar {
    std::optional<double> progress;
    Clock::time_point at;
};

}  // namespace

CallContext::ProgressSink progressNotifier(nlohmann::json progressToken,
                                           std::function<void(const std::string& notification)> notify) {
    auto sentSoFar = std::make_shared<Guarded<SentSoFar>>();
    return [token = std::move(progressToken), notify = std::move(notify), sentSoFar](
               double progress, std::optional<double> total, const std::string& message) {
        // Sent under the lock: reports from several threads of one call go out in order.
        sentSoFar->withLocked([&](SentSoFar& sent) {
            auto now = Clock::now();
            bool reachesTotal = total && progress >= *total;
            if (sent.progress && (progress <= *sent.progress || (!reachesTotal && now - sent.at < kShortestInterval)))
                return;
            nlohmann::json params = {{"progressToken", token}, {"progress", progress}};
            if (total) params["total"] = *total;
            if (!message.empty()) params["message"] = message;
            std::string text =
                dictToJson({{"jsonrpc", "2.0"}, {"method", "notifications/progress"}, {"params", params}});
            if (text == kJsonSerializationFailed) return;
            sent.progress = progress;
            sent.at = now;
            notify(text);
        });
    };
}

}  // namespace velmor::mcp
