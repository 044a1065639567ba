#pragma once

#include "base/result.h"
#include "base/arguments.h"
#include "base/coalesced_trigger.h"
#include "base/guarded.h"
#include "base/taken_tool_names.h"
#include "tools/catalogue.h"
#include "tools/tool_answer.h"
#include "tools/tool_families.h"
#include "tools/tool_metadata.h"

#include <chrono>
#include <functional>
#include <map>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <string_view>

namespace velmor::tools {

using ToolHandler = std::function<ToolAnswer(const Arguments& args)>;

// The fixed tools as the catalogue declares them, each with the handler that carries it out;
// the one way any tool call becomes a step of the flow being recorded; which kind of tool a
// name belongs to when more than one offers it; and the one signal that the list of tools
// changed, which every family of tools that come and go reports to.
//
// Handlers are bound while the application is wired, before serving starts, and never
// change after: calls from any thread read the table without a lock.
class ToolRegistry {
public:
    // `families`, complete (see emptyToolFamilies), must outlive the registry.
    explicit ToolRegistry(const ToolFamilies& families);
    ToolRegistry(const ToolRegistry&) = delete;
    ToolRegistry& operator=(const ToolRegistry&) = delete;

    // Binds the handler of the declared fixed tool `name`, in place of any before. A name the
    // catalogue does not declare is a wiring mistake: throws std::invalid_argument.
    void handle(std::string_view name, ToolHandler handler);
    // Fails naming the declared tools without a handler, in catalogue order. Velmor does not
    // start while any is left, so it never lists a tool it cannot carry out.
    Result<void> checkComplete() const;

    bool isFixed(std::string_view name) const;
    // A fixed tool's call: arguments of the wrong type are refused with the type its schema
    // declares, anything else goes to its handler through run().
    ToolAnswer callFixed(const std::string& name, const nlohmann::json& args) const;

    // Every tool call runs through here once: `call`'s answer, or the error answer when it
    // throws; and `step` recorded when given and the answer is no failure.
    ToolAnswer run(const std::string& name, const std::function<ToolAnswer()>& call,
                   const std::optional<StepRecord>& step) const;
    // For a family that only knows a step's details once its call took and must record it
    // before anything else touches the recording (element actions, under the session lock).
    const StepRecorder& recordStep() const { return families_.recordStep; }

    // The names the tools of a page scan, or of page agents, must leave alone: a name belongs
    // to a fixed tool first, then to an element tool of the controlled application, then to a
    // web tool of the last page scan, then to a Shortcut (every "shortcut_" name), and to a page
    // agent's tool last.
    const TakenToolNames& takenForWebTools() const { return takenForWebTools_; }
    const TakenToolNames& takenForPageTools() const { return takenForPageTools_; }

    // Clients hear that the list of tools changed at most once per kToolsChangedInterval:
    // the first change at once, on the reporting thread, and the changes of a burst within the
    // interval as one more when it ends.
    static constexpr std::chrono::milliseconds kToolsChangedInterval{100};
    // Reported from any thread by whatever changed the tools: scans, pages, the controlled
    // application, the shortcut library.
    void toolsChanged();
    // Who tells the clients; called without any lock of the registry's held. Until one is
    // set, changes go unheard.
    void setOnToolsChanged(std::function<void()> listener);

private:
    struct FixedTool {
        const FixedToolDeclaration& declaration;
        ToolHandler handler;
    };

    class NamesBefore final : public TakenToolNames {
    public:
        NamesBefore(const ToolRegistry& registry, DynamicToolKind asking) : registry_(registry), asking_(asking) {}
        bool isTaken(const std::string& name) const override { return registry_.takenBefore(name, asking_); }

    private:
        const ToolRegistry& registry_;
        const DynamicToolKind asking_;
    };

    // Whether a tool that ranks before those of kind `asking` has the name.
    bool takenBefore(const std::string& name, DynamicToolKind asking) const;

    const ToolFamilies& families_;
    std::map<std::string, FixedTool, std::less<>> fixed_;
    const NamesBefore takenForWebTools_{*this, DynamicToolKind::WebScan};
    const NamesBefore takenForPageTools_{*this, DynamicToolKind::PageAgent};
    Guarded<std::function<void()>> onToolsChanged_;
    // Declared last, so it is destroyed first: its delayed run reads the listener.
    CoalescedTrigger toolsChangedPush_;
};

}  // namespace velmor::tools
