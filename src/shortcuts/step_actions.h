#pragma once

#include <nlohmann/json.hpp>

namespace velmor::shortcuts {

// The workflow actions for a list of simple steps, in step order, each as
// {"action": identifier, "params": {...}}: the form createShortcut takes. A step is one or
// two actions; steps without a string "type" are skipped; a type outside the table is
// taken as an action identifier with the step's "params".
nlohmann::json actionsFromSteps(const nlohmann::json& steps);

}  // namespace velmor::shortcuts
