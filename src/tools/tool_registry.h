#pragma once

#include "base/result.h"
#include "base/arguments.h"
#include "tools/catalogue.h"
#include "tools/tool_families.h"

#include <functional>
#include <map>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <string_view>

namespace velmor::tools {

using ToolHandler = std::function<nlohmann::json(const Arguments& args)>;

// The fixed tools as the catalogue declares them, each with the handler that carries it out,
// and the one way any tool call becomes a step of the flow being recorded.
//
// Handlers are bound while the application is wired, before serving starts, and never
// change after: calls from any thread read the table without a lock.
class ToolRegistry {
public:
    explicit ToolRegistry(StepRecorder recordStep);

    // Binds the handler of the declared fixed tool `name`, in place of any before. A name the
    // catalogue does not declare is a wiring mistake: throws std::invalid_argument.
    void handle(std::string_view name, ToolHandler handler);
    // Fails naming the declared tools without a handler, in catalogue order. Velmor does not
    // start while any is left, so it never lists a tool it cannot carry out.
    Result<void> checkComplete() const;

    bool isFixed(std::string_view name) const;
    // A fixed tool's call: arguments of the wrong type are refused with the type its schema
    // declares, anything else goes to its handler through run().
    nlohmann::json callFixed(const std::string& name, const nlohmann::json& args) const;

    // Every tool call runs through here once: `call`'s answer, or the error answer when it
    // throws; and `step` recorded when given and the answer is no failure.
    nlohmann::json run(const std::string& name, const std::function<nlohmann::json()>& call,
                       const std::optional<StepRecord>& step) const;
    // For a family that only knows a step's details once its call took and must record it
    // before anything else touches the recording (element actions, under the session lock).
    const StepRecorder& recordStep() const { return recordStep_; }

private:
    struct FixedTool {
        const FixedToolDeclaration& declaration;
        ToolHandler handler;
    };

    StepRecorder recordStep_;
    std::map<std::string, FixedTool, std::less<>> fixed_;
};

}  // namespace velmor::tools
