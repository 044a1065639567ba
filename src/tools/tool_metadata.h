#pragma once

#include <nlohmann/json.hpp>

namespace velmor::tools {

// What a client may show and assume about a tool besides its name, description and
// schema: a human-readable `title` and the behaviour hints of `annotations`
// (readOnlyHint, destructiveHint, idempotentHint, openWorldHint).

// The fixed tools with their titles, annotations and the `items` of their array
// parameters added; everything else as given.
nlohmann::json withFixedToolMetadata(nlohmann::json tools);

// The tools that appear at run time, annotated by what they are: nothing is known of
// one such tool beyond its kind.
enum class DynamicToolKind { PageAgent, WebScan, Element, Shortcut };
void annotateDynamicTool(nlohmann::json& tool, DynamicToolKind kind);

}  // namespace velmor::tools
