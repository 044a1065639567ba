#include "tools/tool_metadata.h"

#include <map>
#include <string>
#include <string_view>

namespace velmor::tools {

using nlohmann::json;

namespace {

struct Hints {
    bool readOnly;
    bool destructive;  // may destroy or overwrite what is there; only meaningful when not read-only
    bool idempotent;   // a second identical call changes nothing more
    bool openWorld;    // reaches beyond the machine's desktop: web pages, speech vendors
};

constexpr Hints kReads{true, false, true, false};
constexpr Hints kReadsTheWeb{true, false, true, true};

struct FixedTool {
    std::string_view title;
    Hints hints;
};

// Typing, clicks and keys are destructive: what they change in the target application is
// anyone's guess (a key may be ctrl+s, a click may hit "Delete"). Pointer moves, window
// geometry and focus change no data.
const std::map<std::string_view, FixedTool, std::less<>>& fixedTools() {
    static const std::map<std::string_view, FixedTool, std::less<>> tools = {
        {"session_start", {"Start Controlling an App", {false, false, false, false}}},
        {"session_end", {"Stop Controlling the App", {false, false, false, false}}},
        {"get_page_info", {"Read the App's Interface", kReads}},
        {"list_apps", {"List Running Apps", kReads}},
        {"screenshot", {"Screenshot the App Window", kReads}},
        {"type_text", {"Type Text", {false, true, false, false}}},
        {"press_key", {"Press a Key Combination", {false, true, false, false}}},
        {"click_at", {"Click at Coordinates", {false, true, false, false}}},
        {"mouse_move", {"Move the Pointer", {false, false, true, false}}},
        {"scroll", {"Scroll", {false, false, false, false}}},
        {"drag", {"Drag", {false, true, false, false}}},
        {"get_clipboard", {"Read the Clipboard", kReads}},
        {"set_clipboard", {"Set the Clipboard", {false, true, true, false}}},
        {"list_menus", {"List Menus", kReads}},
        {"menu_click", {"Click a Menu Item", {false, true, false, false}}},
        {"menu_hover", {"Open a Menu Path", {false, false, true, false}}},
        {"fill_cell", {"Fill a Spreadsheet Cell", {false, true, true, false}}},
        {"get_windows", {"List the App's Windows", kReads}},
        {"set_window_frame", {"Move or Resize the Window", {false, false, true, false}}},
        {"activate_app", {"Bring the App to the Front", {false, false, true, false}}},
        {"search_flows", {"Search Saved Flows", kReads}},
        {"list_flows", {"List Saved Flows", kReads}},
        {"load_flow", {"Load a Saved Flow", kReads}},
        {"delete_flow", {"Delete a Saved Flow", {false, true, true, false}}},
        {"start_recording", {"Start Screen Recording", {false, false, false, false}}},
        {"stop_recording", {"Stop Screen Recording", {false, false, false, false}}},
        {"configure_tts", {"Configure Text-to-Speech", {false, true, true, false}}},
        {"speak", {"Speak Text", {false, false, false, true}}},
        {"prefetch_audio", {"Prefetch Narration Audio", {false, false, true, true}}},
        {"dry_run", {"Start or Stop a Dry Run", {false, false, false, false}}},
        {"record_narrated_demo", {"Record a Narrated Demo", {false, true, false, true}}},
        {"inject_webmcp", {"Inject the Page Agent", {false, false, false, true}}},
        {"web_scan", {"Scan a Web Page", kReadsTheWeb}},
        {"web_action", {"Act on a Web Element", {false, true, false, true}}},
        {"web_navigate", {"Navigate a Browser Tab", {false, false, true, true}}},
        {"web_content", {"Read a Web Page", kReadsTheWeb}},
        {"web_execute_js", {"Run JavaScript in a Tab", {false, true, false, true}}},
        {"web_wait_for", {"Wait for a Page to Show Something", kReadsTheWeb}},
        {"web_handle_dialog", {"Answer a Page's Dialog", {false, true, false, true}}},
        {"fill_form", {"Fill a Web Form", {false, true, true, true}}},
        {"list_shortcuts", {"List Shortcuts", kReads}},
        {"run_shortcut", {"Run a Shortcut", {false, true, false, true}}},
        {"create_shortcut", {"Create a Shortcut", {false, true, false, false}}},
    };
    return tools;
}

// What the elements of each array parameter are.
const std::map<std::pair<std::string_view, std::string_view>, json>& arrayItems() {
    static const std::map<std::pair<std::string_view, std::string_view>, json> items = {
        {{"menu_click", "path"}, {{"type", "string"}}},
        {{"menu_hover", "path"}, {{"type", "string"}}},
        {{"prefetch_audio", "lines"},
         {{"type", "object"}, {"properties", {{"text", {{"type", "string"}}}, {"voice", {{"type", "string"}}}}}}},
        {{"record_narrated_demo", "script"}, {{"type", "object"}, {"properties", {{"action", {{"type", "string"}}}}}}},
        {{"create_shortcut", "steps"}, {{"type", "object"}, {"properties", {{"type", {{"type", "string"}}}}}}},
    };
    return items;
}

json annotations(const Hints& hints) {
    return {{"readOnlyHint", hints.readOnly},
            {"destructiveHint", hints.destructive},
            {"idempotentHint", hints.idempotent},
            {"openWorldHint", hints.openWorld}};
}

}  // namespace

json withFixedToolMetadata(json tools) {
    for (json& tool : tools) {
        const std::string& name = tool["name"].get_ref<const std::string&>();
        auto fixed = fixedTools().find(name);
        if (fixed == fixedTools().end()) continue;
        tool["title"] = fixed->second.title;
        tool["annotations"] = annotations(fixed->second.hints);
        // Clients of the earlier protocol version read the title from the annotations.
        tool["annotations"]["title"] = fixed->second.title;
        for (auto& [parameter, schema] : tool["inputSchema"]["properties"].items())
            if (auto items = arrayItems().find({name, parameter}); items != arrayItems().end())
                schema["items"] = items->second;
    }
    return tools;
}

void annotateDynamicTool(json& tool, DynamicToolKind kind) {
    switch (kind) {
        // A page's own tool, or an element of a web page: it may do anything the page can,
        // on a site somewhere on the web.
        case DynamicToolKind::PageAgent:
        case DynamicToolKind::WebScan: tool["annotations"] = annotations({false, true, false, true}); break;
        // A press or fill of a control in a desktop application: like a click.
        case DynamicToolKind::Element: tool["annotations"] = annotations({false, true, false, false}); break;
        // A user's shortcut may run scripts, open pages or send messages.
        case DynamicToolKind::Shortcut: tool["annotations"] = annotations({false, true, false, true}); break;
    }
}

}  // namespace velmor::tools
