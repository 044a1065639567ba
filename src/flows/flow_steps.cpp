#include "flows/flow_steps.h"

#include "base/json_depth.h"
#include "base/json_text.h"
#include "flows/sqlite_statement.h"

namespace velmor::flows {

namespace {

constexpr const char* kSelectSteps =
    "SELECT step_number, tool_name, args_json, window_title, element_count, wait_ms, narration, page_url, context "
    "FROM flow_steps WHERE flow_id = ? ORDER BY step_number";

void putText(nlohmann::json& step, const char* key, std::optional<std::string> value) {
    if (value) step[key] = std::move(*value);
}

void putInteger(nlohmann::json& step, const char* key, const std::optional<int64_t>& value) {
    if (value) step[key] = std::move(*value);
}

}  // namespace

std::optional<std::string> argsJsonText(const nlohmann::json& args) {
    if (!args.is_object() || args.empty()) return std::nullopt;
    std::string text = dictToJson(args);
    // The serialiser answers a fixed error text when it fails; arguments that happen to
    // be that very dictionary are still stored.
    if (text == kJsonSerializationFailed && args != nlohmann::json::parse(kJsonSerializationFailed))
        return std::nullopt;
    return text;
}

nlohmann::json readSteps(sqlite3* db, int64_t flowId) {
    nlohmann::json steps = nlohmann::json::array();
    Statement select(db, kSelectSteps);
    select.bindInteger(1, flowId);
    while (select.nextRow()) {
        nlohmann::json step = nlohmann::json::object();
        step["step"] = select.integerOr(0, 0);
        step["tool"] = select.text(1).value_or("");
        if (auto argsText = select.text(2)) {
            // A row written by hand or by a damaged writer must not break the whole read.
            nlohmann::json args = parseBoundedJson(*argsText);
            if (args.is_object()) step["args"] = std::move(args);
        }
        putText(step, "window_title", select.text(3));
        putInteger(step, "element_count", select.integer(4));
        putInteger(step, "wait_ms", select.integer(5));
        putText(step, "narration", select.text(6));
        putText(step, "page_url", select.text(7));
        putText(step, "context", select.text(8));
        steps.push_back(std::move(step));
    }
    return steps;
}

}  // namespace velmor::flows
