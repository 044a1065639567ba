#pragma once

#include "base/guarded.h"
#include "base/result.h"

#include <cstdint>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>

struct sqlite3;

namespace velmor::flows {

// The name and description a flow carries while it is being recorded. Rows named so are
// never listed or searched.
inline constexpr const char* kRecordingName = "__recording__";
inline constexpr const char* kRecordingDescription = "Recording in progress";

// Saved flows (recorded sequences of tool calls) and the one recording in progress, in a
// SQLite file. Every operation holds one lock, because tool calls arrive on several
// threads at once and a step must never land in another flow or reuse a step number.
// Operations never throw: failures are logged, or answered with what the agent is told.
class FlowStore {
public:
    explicit FlowStore(const std::string& databasePath);
    ~FlowStore();
    FlowStore(const FlowStore&) = delete;
    FlowStore& operator=(const FlowStore&) = delete;

    // Starts a new recording. One already open is abandoned: its placeholder row stays.
    void beginRecording(const std::string& appName, const std::optional<std::string>& bundleId = std::nullopt,
                        const std::optional<std::string>& targetUrl = std::nullopt);
    // Adds a step to the open recording; does nothing when none is open.
    void recordStep(const std::string& toolName, const nlohmann::json& args,
                    const std::optional<std::string>& windowTitle = std::nullopt,
                    std::optional<int64_t> elementCount = std::nullopt,
                    const std::optional<std::string>& pageUrl = std::nullopt,
                    const std::optional<std::string>& context = std::nullopt);
    // Saves the recording under `saveName` as that name's next version, or discards it
    // when the name is absent or empty. {"step_count", "steps", "saved_as"}; "not recording"
    // without a recording, "db error" when it could not be saved.
    Result<nlohmann::json> endRecording(const std::optional<std::string>& saveName);
    bool isRecording() const;

    // Every version of every saved flow, most recently updated first.
    nlohmann::json listFlows() const;
    // Up to 10 flows whose name, app, URL, step tool names or step contexts contain the
    // query (SQL LIKE, so "%" and "_" are wildcards), each with its steps.
    nlohmann::json searchFlows(const std::string& query) const;
    // The newest version of a flow, counting the use.
    Result<nlohmann::json> loadFlow(const std::string& name);
    // Removes one version of a flow (the oldest stored) per call.
    Result<nlohmann::json> deleteFlow(const std::string& name);

private:
    struct Store {
        sqlite3* db = nullptr;
        std::optional<int64_t> currentFlowId;
        int stepCounter = 0;
    };
    // Taken after the session's lock when a session records (session, then store), and
    // never held while anything outside the store is called.
    Guarded<Store> store_;
};

}  // namespace velmor::flows
