#include "shortcuts/action_words.h"


namespace velmor::shortcuts {

namespace {

std::string text(const ShortcutAction& action, const char* key) {
    auto it = action.parameters.find(key);
    if (it == action.parameters.end()) return {};
    if (auto found = parameterText(*it)) return *found;
    return it->is_number() ? it->dump() : std::string{};
}

std::string quoted(const std::string& text) { return "\u201C" + text + "\u201D"; }

}  // namespace

std::string actionInWords(const ShortcutAction& action) {
    const std::string id = action.identifier;
    const std::string prefix = "is.workflow.actions.";
    const std::string name = id.starts_with(prefix) ? id.substr(prefix.size()) : "";
    if (name == "gettext") return "Text " + quoted(text(action, "WFTextActionText"));
    if (name == "showresult") return "Show the result " + quoted(text(action, "Text"));
    if (name == "ask") return "Ask for input: " + quoted(text(action, "WFAskActionPrompt"));
    if (name == "url") return "The URL " + text(action, "WFURLActionURL");
    if (name == "openurl") return "Open the URL";
    if (name == "downloadurl") return "Get the contents of the URL";
    if (name == "openapp") return "Open the application " + quoted(text(action, "WFAppIdentifier"));
    if (name == "runscript")
        return "Run a shell script with " + text(action, "Shell") + ":\n" + text(action, "WFShellScript");
    if (name == "setvariable") return "Set the variable " + quoted(text(action, "WFVariableName"));
    if (name == "setclipboard") return "Copy to the clipboard";
    if (name == "getclipboard") return "Get the clipboard";
    if (name == "notification")
        return "Show the notification " + quoted(text(action, "WFNotificationActionTitle")) + ": " +
               text(action, "WFNotificationActionBody");
    if (name == "delay") return "Wait " + text(action, "WFDelayTime") + " seconds";
    if (name == "speaktext") return "Speak " + quoted(text(action, "WFText"));
    if (name == "comment") return "Comment: " + text(action, "WFCommentActionText");
    if (name == "sendmessage") return "Send a message (not available on this system)";
    if (name == "dnd") return "Turn on Do Not Disturb (not available on this system)";
    return "The action " + id + " (not available on this system)";
}

}  // namespace velmor::shortcuts
