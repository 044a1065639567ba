#include "tools/cell_tools.h"

#include "automation/cell_filling.h"
#include "automation/input_actions.h"

#include <memory>

namespace velmor::tools {

using nlohmann::json;

void installCellTools(ToolRouter& router, automation::SessionManager& session, const CellToolServices& services) {
    auto actions = std::make_shared<automation::InputActions>(services.input, services.windows, services.applications);
    platform::Accessibility& accessibility = services.accessibility;
    router.registry().handle("fill_cell", [&session, &accessibility, actions](const Arguments& args) {
        auto cell = args.string("cell");
        if (!cell) return errorResult(missingField("cell"));
        auto value = args.string("value");
        if (!value) return errorResult(missingField("value"));
        auto address = automation::parseCellAddress(*cell);
        if (!address)
            return errorResult("'" + *cell + "' is not a cell address: a column's letters, then a row's number (e.g. B3)");
        auto target = session.liveTarget();
        if (!target) return errorResult(target.error());
        int32_t pid = *target;
        session.followTarget(pid);
        auto shown = automation::fillCell(accessibility, *actions, pid, *address, *value);
        if (!shown) return errorResult(shown.error());
        session.awaitTargetSettled(pid);
        // The sheet changes like after any other action: the agent gets the same diff.
        auto diff = session.getStateDiff();
        json answer = diff ? std::move(diff).value() : json::object();
        answer["status"] = "filled";
        answer["cell"] = address->text;
        answer["shows"] = *shown;
        return answer;
    });
}

}  // namespace velmor::tools
