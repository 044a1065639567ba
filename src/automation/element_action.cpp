#include "automation/element_action.h"

#include <chrono>
#include <thread>

namespace velmor::automation {

namespace {

// Lets the field take the focus before its text is replaced.
constexpr auto kFocusDelay = std::chrono::milliseconds(100);

const nlohmann::json* valueArgument(const nlohmann::json& args) {
    if (!args.is_object()) return nullptr;
    auto it = args.find("value");
    return it == args.end() ? nullptr : &*it;
}

}  // namespace

std::optional<std::string> performElementAction(const AXElement& element, const nlohmann::json& args) {
    const std::string& verb = element.toolPrefix;
    platform::AccessibleElement& target = *element.elementRef;

    if (verb == "click" || verb == "select" || verb == "toggle" || verb == "open") {
        if (auto error = target.press()) return "AXPress failed: " + std::to_string(platform::code(*error));
        return std::nullopt;
    }
    if (verb == "fill") {
        const nlohmann::json* value = valueArgument(args);
        if (!value || !value->is_string()) return "missing 'value' argument";
        target.focus();  // a field that cannot take the focus may still take the text
        std::this_thread::sleep_for(kFocusDelay);
        if (auto error = target.setValue(value->get<std::string>()))
            return "AXSetValue failed: " + std::to_string(platform::code(*error)) + ". Try type_text instead.";
        return std::nullopt;
    }
    if (verb == "set") {
        const nlohmann::json* value = valueArgument(args);
        platform::ElementValue given;
        if (value && value->is_number()) given = value->get<double>();
        else if (value && value->is_string()) given = value->get<std::string>();
        else return "missing 'value' argument";
        if (auto error = target.setValue(given)) return "AXSetValue failed: " + std::to_string(platform::code(*error));
        return std::nullopt;
    }
    return "unknown action prefix: " + verb;
}

}  // namespace velmor::automation
