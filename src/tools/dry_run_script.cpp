#include "tools/dry_run_script.h"

#include "base/arguments.h"

#include <array>
#include <string_view>

namespace velmor::tools {

namespace {

// Element tools that act with a single press, whatever their kind, replay as a click.
constexpr std::array<std::string_view, 4> kClickPrefixes = {"click_", "toggle_", "navigate_", "switch_tab_"};

bool replaysAsClick(const std::string& tool) {
    for (std::string_view prefix : kClickPrefixes)
        if (tool.starts_with(prefix)) return true;
    return false;
}

bool isArrayOfDictionaries(const nlohmann::json& steps) {
    if (!steps.is_array()) return false;
    for (const auto& step : steps)
        if (!step.is_object()) return false;
    return true;
}

nlohmann::json scriptStep(const std::string& tool, const nlohmann::json& args, const std::string& defaultVoice) {
    const Arguments read(args);
    if (tool == "speak")
        return {{"action", "speak"},
                {"text", read.string("text").value_or("")},
                {"voice", read.string("voice").value_or(defaultVoice)}};
    if (replaysAsClick(tool)) return {{"action", "click"}, {"tool", tool}};
    if (tool.starts_with("fill_"))
        return {{"action", "fill"}, {"tool", tool}, {"value", read.string("value").value_or("")}};
    if (tool == "press_key") return {{"action", "press_key"}, {"key", read.string("key").value_or("")}};
    if (tool == "type_text") return {{"action", "type_text"}, {"text", read.string("text").value_or("")}};
    return {{"action", "execute"}, {"tool", tool}, {"args", args}};
}

}  // namespace

nlohmann::json dryRunScript(const nlohmann::json& steps, const std::string& defaultVoice) {
    nlohmann::json script = nlohmann::json::array();
    if (!isArrayOfDictionaries(steps)) return script;
    for (const auto& step : steps) {
        const auto tool = step.find("tool");
        const auto args = step.find("args");
        script.push_back(scriptStep(tool != step.end() && tool->is_string() ? tool->get<std::string>() : "",
                                    args != step.end() && args->is_object() ? *args : nlohmann::json::object(),
                                    defaultVoice));
    }
    return script;
}

}  // namespace velmor::tools
