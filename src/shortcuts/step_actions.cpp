#include "shortcuts/step_actions.h"

#include "base/arguments.h"
#include "shortcuts/shortcut_file.h"

#include <functional>
#include <map>

namespace velmor::shortcuts {

namespace {

using nlohmann::json;

constexpr const char* kPrefix = "is.workflow.actions.";

struct StepRule {
    std::vector<std::string> types;  // the type and its aliases
    std::function<json(const Arguments&)> actions;
};

json one(const std::string& identifier, json params = json::object()) {
    return json::array({{{"action", kPrefix + identifier}, {"params", std::move(params)}}});
}

json urlThen(const std::string& second, const Arguments& step) {
    json actions = one("url", {{"WFURLActionURL", step.string("url").value_or("")}});
    actions.push_back({{"action", kPrefix + second}, {"params", json::object()}});
    return actions;
}

const std::vector<StepRule>& rules() {
    static const std::vector<StepRule> table = {
        {{"show_result", "show", "alert"},
         [](const Arguments& s) { return one("showresult", {{"Text", textToken(s.string("text").value_or("Hello!"))}}); }},
        {{"ask_input", "ask", "prompt"},
         [](const Arguments& s) {
             return one("ask", {{"WFAskActionPrompt", s.string("prompt").value_or("Enter value:")},
                                {"WFInputType", s.string("input_type").value_or("Text")}});
         }},
        {{"open_url", "open"}, [](const Arguments& s) { return urlThen("openurl", s); }},
        {{"open_app"}, [](const Arguments& s) { return one("openapp", {{"WFAppIdentifier", s.string("app").value_or("")}}); }},
        {{"run_script", "shell", "bash"},
         [](const Arguments& s) {
             return one("runscript", {{"WFShellScript", s.string("script").value_or("")},
                                      {"Shell", s.string("shell").value_or("/bin/bash")}});
         }},
        {{"get_url", "http", "fetch"}, [](const Arguments& s) { return urlThen("downloadurl", s); }},
        {{"text"}, [](const Arguments& s) { return one("gettext", {{"WFTextActionText", textToken(s.string("text").value_or(""))}}); }},
        {{"set_variable", "variable"},
         [](const Arguments& s) { return one("setvariable", {{"WFVariableName", s.string("name").value_or("Variable")}}); }},
        {{"clipboard", "copy"}, [](const Arguments&) { return one("setclipboard"); }},
        {{"get_clipboard", "paste"}, [](const Arguments&) { return one("getclipboard"); }},
        {{"notification", "notify"},
         [](const Arguments& s) {
             return one("notification", {{"WFNotificationActionTitle", s.string("title").value_or("Velmor")},
                                         {"WFNotificationActionBody", s.string("body").value_or("")}});
         }},
        {{"wait", "delay"}, [](const Arguments& s) { return one("delay", {{"WFDelayTime", s.integer("seconds").value_or(1)}}); }},
        {{"speak", "say"}, [](const Arguments& s) { return one("speaktext", {{"WFText", textToken(s.string("text").value_or(""))}}); }},
        {{"send_message", "message", "imessage"},
         [](const Arguments& s) {
             return one("sendmessage",
                        {{"WFSendMessageContent", textToken(s.string("body").value_or(""))},
                         {"WFSendMessageActionRecipients", json::array({{{"WFContactFieldValue", s.string("to").value_or("")}}})}});
         }},
        {{"set_dnd", "focus", "do_not_disturb"},
         [](const Arguments& s) {
             return one("dnd", {{"Enabled", s.boolean("enabled").value_or(true)}, {"AssertionType", "Turned On"}});
         }},
        {{"comment"}, [](const Arguments& s) { return one("comment", {{"WFCommentActionText", s.string("text").value_or("")}}); }},
    };
    return table;
}

const std::map<std::string, const StepRule*>& rulesByType() {
    static const auto byType = [] {
        std::map<std::string, const StepRule*> map;
        for (const auto& rule : rules())
            for (const auto& type : rule.types) map[type] = &rule;
        return map;
    }();
    return byType;
}

}  // namespace

json actionsFromSteps(const json& steps) {
    json actions = json::array();
    if (!steps.is_array()) return actions;
    for (const auto& step : steps) {
        Arguments fields(step);
        auto type = fields.string("type");
        if (!type) continue;
        auto rule = rulesByType().find(*type);
        json made;
        if (rule != rulesByType().end()) {
            made = rule->second->actions(fields);
        } else {
            const json* params = fields.object("params");
            made = json::array({{{"action", *type}, {"params", params ? *params : json::object()}}});
        }
        for (auto& action : made) actions.push_back(std::move(action));
    }
    return actions;
}

}  // namespace velmor::shortcuts
