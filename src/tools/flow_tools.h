#pragma once

#include "flows/flow_store.h"
#include "tools/tool_families.h"
#include "tools/tool_router.h"

#include <functional>
#include <string>

namespace velmor::tools {

// Plugs search_flows, list_flows, load_flow, delete_flow and dry_run into the router.
// `defaultVoice` is asked once per finished dry run, for recorded speech without a voice.
void installFlowTools(ToolRouter& router, flows::FlowStore& store, std::function<std::string()> defaultVoice);

// Where the router's recorded steps go: the store's open recording, if any.
StepRecorder flowStepRecorder(flows::FlowStore& store);

}  // namespace velmor::tools
