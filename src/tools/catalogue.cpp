#include "tools/catalogue.h"

#include "base/json_text.h"
#include "base/outside_text.h"
#include "base/text.h"
#include "base/tool_description.h"
#include "tools/tool_metadata.h"

#include <algorithm>
#include <map>
#include <set>

namespace velmor::tools {

using nlohmann::json;

// How much of a shortcut's name its tool name keeps, and the longest tool name, numbered.
constexpr size_t kShortcutSlugLength = 50;
constexpr size_t kShortcutToolNameLength = 64;

using tool_schema::describeDeferred;
using tool_schema::objectSchema;
using tool_schema::param;
using tool_schema::stringOrListParam;
using tool_schema::tool;

namespace {

// A tool whose successful calls become steps of the flow being recorded.
FixedToolDeclaration recorded(json entry) { return {std::move(entry), FlowStep::recorded}; }

// The tool names and descriptions are the agent's only manual: their wording is kept
// exactly as written here.
std::vector<FixedToolDeclaration> declareFixedTools() {
    return {
        tool("session_start",
             "Start controlling a desktop application. Activates it, scans its UI, and returns all interactive elements as available tools.",
             {{"app_name", param("string", "App name (e.g., 'Calculator', 'Mousepad')")},
              {"bundle_id", param("string", "Application ID as list_apps shows it (e.g., 'org.gnome.Calculator'). More precise.")}}),
        tool("session_end",
             "Stop controlling the current target app. If save_as is provided, saves the recorded flow for replay later.",
             {{"save_as", param("string", "Name to save this flow as (optional). If omitted, the recording is discarded.")}}),
        tool("get_page_info",
             "Re-scan the target app's UI. Returns window title, focused element, all interactive elements, and hierarchy. Call after actions to see updated state."),
        tool("list_apps",
             "List all running GUI applications with name, application ID, and PID."),
        tool("screenshot",
             "Capture the target app's frontmost window as a PNG image."),
        recorded(tool("type_text",
             "Type text character-by-character into the focused field using keyboard events. Use when fill_* tools don't work.",
             {{"text", param("string", "Text to type")}},
             {"text"})),
        recorded(tool("press_key",
             "Send a keyboard shortcut to the target app (e.g., 'ctrl+s', 'return', 'tab', 'escape').",
             {{"key", param("string", "Key combo: 'ctrl+s', 'ctrl+shift+n', 'return', 'tab', 'escape', 'home', 'pagedown', 'forwarddelete', 'f10', '='. Modifiers: ctrl, shift, alt")}},
             {"key"})),
        tool("click_at",
             "LAST RESORT — click at pixel coordinates relative to the target app's window. Use only when accessibility tools and web_scan fail (e.g., Electron apps, canvas UIs, GPU-rendered content). Take a screenshot first to identify the coordinates.",
             {{"x", param("integer", "X coordinate (pixels from left edge of window)")},
              {"y", param("integer", "Y coordinate (pixels from top edge of window)")},
              {"button", param("string", "Mouse button: 'left' (default) or 'right'")},
              {"clicks", param("integer", "Number of clicks: 1 (default) or 2 for double-click")}},
             {"x", "y"}),
        tool("mouse_move",
             "Move the mouse to pixel coordinates relative to the target app's window. Use for hover effects or to position before other actions.",
             {{"x", param("integer", "X coordinate (pixels from left edge of window)")},
              {"y", param("integer", "Y coordinate (pixels from top edge of window)")}},
             {"x", "y"}),
        tool("scroll",
             "Scroll at the current mouse position. Positive deltaY scrolls down, negative scrolls up.",
             {{"delta_y", param("integer", "Vertical scroll amount in pixels (positive = down, negative = up)")},
              {"delta_x", param("integer", "Horizontal scroll amount in pixels (positive = right, negative = left)")}},
             {"delta_y"}),
        tool("drag",
             "Drag from one point to another within the target app's window. Use for reordering, moving files, adjusting sliders.",
             {{"from_x", param("integer", "Start X coordinate")},
              {"from_y", param("integer", "Start Y coordinate")},
              {"to_x", param("integer", "End X coordinate")},
              {"to_y", param("integer", "End Y coordinate")},
              {"duration", param("number", "Drag duration in seconds (default: 0.5)")}},
             {"from_x", "from_y", "to_x", "to_y"}),
        tool("get_clipboard",
             "Get the current clipboard text contents."),
        tool("set_clipboard",
             "Set the clipboard text contents.",
             {{"text", param("string", "Text to copy to clipboard")}},
             {"text"}),
        tool("list_menus",
             "List all menu bar items and their menu items for the target app."),
        tool("menu_click",
             "Click a menu item by path. Example: ['File', 'Save As...'] or ['Document', 'Line Ending', 'Unix (LF)'].",
             {{"path", param("array", "Menu path as array of strings, e.g. ['File', 'Save As...']")}},
             {"path"}),
        tool("menu_hover",
             "Open a menu path visually without clicking the final item. Use in recordings to show the user where to look.",
             {{"path", param("array", "Menu path to open, e.g. ['View', 'Developer']")}},
             {"path"}),
        recorded(tool("fill_cell",
             "Enter a value or formula into a spreadsheet cell by its address (LibreOffice Calc and other sheets with a Name Box). Returns what the cell then shows, e.g. the formula's result.",
             {{"cell", param("string", "Cell address: column letters, then row number (e.g. 'B3', 'AA10')")},
              {"value", param("string", "Text, number or formula to enter (e.g. '42', 'Total', '=SUM(A1:A3)')")}},
             {"cell", "value"})),
        tool("get_windows",
             "Get position, size, and title of all windows belonging to the target app."),
        tool("set_window_frame",
             "Resize and/or move the target app's frontmost window.",
             {{"x", param("integer", "Window X position")},
              {"y", param("integer", "Window Y position")},
              {"width", param("integer", "Window width")},
              {"height", param("integer", "Window height")}}),
        tool("activate_app",
             "Bring the target app to the foreground."),
        tool("search_flows",
             "Search for previously recorded flows (automation paths). Search by app name, URL, or task description. Returns matching flows with their steps so you can replay them. ALWAYS search before starting a task to check if a flow already exists.",
             {{"query", param("string", "Search query — matches against flow name, app name, URL, and tool names (e.g. 'Firefox login', 'github issues', 'Settings wifi')")}},
             {"query"}),
        tool("list_flows",
             "List all saved flows."),
        tool("load_flow",
             "Load a saved flow by name. Returns the steps so you can replay them.",
             {{"name", param("string", "Flow name")}},
             {"name"}),
        tool("delete_flow",
             "Delete a saved flow by name.",
             {{"name", param("string", "Flow name")}},
             {"name"}),
        tool("start_recording",
             "Start recording as MP4 video. Mode 'window' (default) records the target app's window. Mode 'display' records the entire screen — use for menus, dropdowns, multi-window flows, or when window capture shows frozen frames.",
             {{"mode", param("string", "Recording mode: 'window' (default, the target app's window) or 'display' (full screen)")}}),
        tool("stop_recording",
             "Stop recording and save the MP4 to the videos folder (XDG_VIDEOS_DIR, else ~/Videos, else home). Returns the file path."),
        tool("configure_tts",
             "Set up text-to-speech for narrated demos. Providers: elevenlabs, openai, gemini, deepgram. The user can give you their API key and you call this tool to configure it.",
             {{"provider", param("string", "TTS provider: elevenlabs, openai, gemini, or deepgram")},
              {"api_key", param("string", "API key for the provider")}},
             {"provider", "api_key"}),
        recorded(tool("speak",
             "Speak text using the configured TTS provider. Suggested voices — ElevenLabs: brian, sarah, charlie, jessica, alice; OpenAI: coral, sage, alloy, nova, echo; Gemini: kore, puck, zephyr, charon, aoede; Deepgram: thalia, apollo, asteria, luna, orion. You can also type any voice name your provider supports. Blocks until speech completes.",
             {{"text", param("string", "Text to speak")},
              {"voice", param("string", "Voice name — use a suggested voice or type any name your provider supports")}},
             {"text"})),
        tool("prefetch_audio",
             "Pre-fetch TTS audio for multiple narration lines before recording. Ensures instant playback during recording with zero delay.",
             {{"lines", param("array", "Array of {text, voice} objects to prefetch. Voice uses provider default if omitted.")}},
             {"lines"}),
        tool("dry_run",
             "Start or stop a dry run. Walk through a flow manually — every action is recorded. When stopped, returns a numbered script you can use for record_narrated_demo.",
             {{"active", param("boolean", "true to start recording actions, false to stop and get the summary")}},
             {"active"}),
        tool("record_narrated_demo",
             "Record a narrated demo video. Pass a script array of steps. Actions: 'start_recording', 'stop_recording', 'speak' (text, voice), 'click' (tool), 'fill' (tool, value), 'press_key' (key), 'type_text' (text), 'wait' (ms), 'wait_for_tool' (tool — waits until a specific tool appears after navigation/click, confirms UI settled), 'navigate' (path), 'execute' (tool, args). MUST do dry_run first. Prefetch audio before recording. Personas: sales-demo (Charlie), narrator (Brian), teacher (Alice), qa-tester (Daniel), demo-user (Jessica), tiktok-reel (Laura).",
             {{"script", param("array", "Array of step objects. E.g. [{action:'start_recording'}, {action:'speak', text:'Welcome', voice:'Charlie'}, {action:'click', tool:'click_submit'}, {action:'wait_for_tool', tool:'fill_email'}, {action:'speak', text:'Now we see the form'}, {action:'stop_recording'}]")}},
             {"script"}),
        tool("inject_webmcp",
             "Inject WebMCP auto-discover into the active browser tab via secure WebSocket (wss://). Enables real-time DOM watching with MutationObserver — tools update automatically as the page changes. Requires the TLS certificate to be trusted by the browser.",
             {{"browser", param("string", "Target browser: 'chrome' (Chromium or Chrome) or 'auto' (default: the browser Velmor reaches)")}}),
        tool("web_scan",
             "Scan a browser tab's DOM for interactive elements and register them as callable tools. Use 'url' to target a specific tab (e.g. 'github.com'). Works on any site including those with strict CSP.",
             {{"browser", param("string", "Target browser: 'chrome' (Chromium or Chrome) or 'auto' (default: the browser Velmor reaches)")},
              {"url", param("string", "URL pattern to find the right tab (e.g. 'github.com', 'mail.example.com'). Matches any tab whose URL contains this string.")},
              {"max_length", param("integer", "Characters of page text to return (default 1500, at most 100000)")}}),
        tool("web_action",
             "Execute an action on a web element found by web_scan. Provide the tool name from web_scan results. An action that takes the tab to another page answers once the new page has loaded, with its url and title under 'navigation'.",
             {{"tool_name", param("string", "Tool name from web_scan results (e.g. click_submit, fill_email)")},
              {"value", stringOrListParam("Value for fill/select/set actions (a select also takes a list of "
                                          "options; a multi-select keeps what it already holds); the key for "
                                          "action 'press'")},
              {"action", param("string", "'press' to press the key named in value (Enter, Tab, Escape, Backspace, Delete, Insert, Space, ArrowUp/Down/Left/Right, Home, End, PageUp, PageDown, F1-F12, or one character), optionally with modifiers (ctrl+a, shift+tab, ctrl+shift+k), on the tool's element, or on the focused element when tool_name is left out")},
              {"url", param("string", "URL pattern of the tab for a press without tool_name")}}),
        tool("web_navigate",
             "Navigate a browser tab to a URL path. Use 'url' param to target the right tab.",
             {{"path", param("string", "URL or path to navigate to (e.g. '/dashboard', 'https://example.com/settings')")},
              {"url", param("string", "URL pattern to find the tab to navigate (e.g. 'example.com')")}},
             {"path"}),
        tool("web_content",
             "Read the visible text content of a browser tab. Returns page headings, content, URL, title, and available tools. Use 'url' to target a specific tab.",
             {{"url", param("string", "URL pattern to find the tab (e.g. 'example.com')")},
              {"max_length", param("integer", "Characters of page text to return (default 1500, at most 100000)")}}),
        tool("web_execute_js",
             "Execute arbitrary JavaScript in a browser tab and return the result. Use when web_scan doesn't detect a dynamic element (e.g. autocomplete dropdown). The JS must return a string.",
             {{"js", param("string", "JavaScript code to execute. Must return a string or JSON.stringify result.")},
              {"browser", param("string", "Target browser: 'chrome' (Chromium or Chrome) or 'auto' (default)")},
              {"url", param("string", "URL pattern to target a specific tab")}},
             {"js"}),
        tool("web_wait_for",
             "Wait until a browser tab shows some text or an element matching a CSS selector (or, with gone: true, no longer shows it), e.g. after a click that loads results. Only what the user can see counts; frames and web components are searched too. Answers what was seen and after how many milliseconds, or an error when the time runs out.",
             {{"text", param("string", "Text to wait for (letter case and spacing ignored)")},
              {"selector", param("string", "CSS selector of the element to wait for; with text, the text must be inside such an element")},
              {"gone", param("boolean", "true to wait until it is no longer shown; default false")},
              {"timeout_ms", param("integer", "How long to wait, in milliseconds (default 10000)")},
              {"url", param("string", "URL pattern of the tab (e.g. 'example.com')")}}),
        tool("web_handle_dialog",
             "Answer the JavaScript dialog (alert, confirm, prompt, leave-page question) a browser tab shows. Velmor answers dialogs by itself before its next call in that tab (alerts accepted, the others dismissed) and reports them under 'dialog'; call this first to answer one yourself.",
             {{"accept", param("boolean", "true to accept (OK), false to dismiss (Cancel); default true")},
              {"prompt_text", param("string", "Text to answer a prompt with when accepting")},
              {"url", param("string", "URL pattern of the tab (default: the tab whose dialog opened last)")}}),
        tool("fill_form",
             "Fill multiple form fields at once on a browser tab. Pass a dict of field_name:value pairs. Field names come from web_scan results (without the 'fill_' prefix).",
             {{"fields", param("object", "Object mapping field names to values, e.g. {email: 'user@example.com', password: 'secret'}")},
              {"url", param("string", "URL pattern to target the tab")}},
             {"fields"}),
        tool("list_shortcuts",
             "List all shortcuts available on this machine."),
        tool("run_shortcut",
             "Run a shortcut by name with optional text input.",
             {{"name", param("string", "Shortcut name (from list_shortcuts)")},
              {"input", param("string", "Optional text input to pass to the shortcut")}},
             {"name"}),
        tool("create_shortcut",
             "Create a new shortcut from a list of steps. Each step has a 'type' (show, ask, open_url, shell, text, clipboard, notification, speak, send_message, set_dnd, wait, comment, open_app) and type-specific params. The shortcut is checked and added to the library automatically.",
             {{"name", param("string", "Name for the new shortcut")},
              {"steps", param("array", "Array of step objects. Each has 'type' and type-specific fields (e.g. {type:'show', text:'Hello'}, {type:'shell', script:'echo hi'}, {type:'open_url', url:'https://...'}, {type:'ask', prompt:'Enter name:'}, {type:'speak', text:'Good morning'}, {type:'send_message', to:'+1234', body:'On my way'})")}},
             {"name", "steps"}),

    };
}

}  // namespace

const std::vector<FixedToolDeclaration>& fixedToolDeclarations() {
    static const std::vector<FixedToolDeclaration> declarations = [] {
        std::vector<FixedToolDeclaration> declared = declareFixedTools();
        json entries = json::array();
        for (auto& declaration : declared) entries.push_back(std::move(declaration.entry));
        entries = withFixedToolMetadata(std::move(entries));
        for (size_t i = 0; i < declared.size(); ++i) declared[i].entry = std::move(entries[i]);
        return declared;
    }();
    return declarations;
}

json staticTools() {
    // Copying the finished tree is several times cheaper than building it again, and every
    // tools/list needs it.
    static const json tools = [] {
        json entries = json::array();
        for (const auto& declaration : fixedToolDeclarations()) entries.push_back(declaration.entry);
        return entries;
    }();
    return tools;
}

const std::string& staticToolsText() {
    static const std::string text = [] {
        std::string array = dictToJson(staticTools());
        return array.substr(1, array.size() - 2);
    }();
    return text;
}

const std::vector<std::string>& fixedToolNames() {
    static const std::vector<std::string> names = [] {
        std::vector<std::string> declared;
        for (const auto& declaration : fixedToolDeclarations()) declared.push_back(declaration.entry["name"]);
        return declared;
    }();
    return names;
}

json elementToolDescription(const ElementTool& element) {
    json properties = json::object();
    std::vector<std::string> required;
    if (element.toolPrefix == "fill") {
        properties["value"] = param("string", "Text to fill in");
        required = {"value"};
    } else if (element.toolPrefix == "set") {
        properties["value"] = param("number", "Value to set");
        required = {"value"};
    } else if (element.toolPrefix == "open") {
        properties["value"] = param("string", "Option to choose, as the list shows it; without it the list opens");
    }
    return tool(element.toolName, element.description, std::move(properties), required);
}

std::string shortcutToolName(const std::string& shortcutName) {
    return std::string(kShortcutToolPrefix) + toSlug(shortcutName, kShortcutSlugLength);
}

std::vector<ShortcutTool> shortcutTools(const std::vector<std::string>& shortcutNames) {
    std::vector<ShortcutTool> tools;
    std::set<std::string> taken;
    for (const auto& shortcutName : shortcutNames) {
        std::string base = shortcutToolName(shortcutName);
        std::string name = base;
        for (int n = 2; taken.contains(name); ++n) {
            std::string suffix = "_" + std::to_string(n);
            name = base.substr(0, kShortcutToolNameLength - suffix.size()) + suffix;
        }
        taken.insert(name);
        tools.push_back({std::move(name), shortcutName});
    }
    return tools;
}

json shortcutToolDescription(const ShortcutTool& shortcut) {
    return describeDeferred(shortcut.toolName,
                            "Run the shortcut: \"" + outside_text::label(shortcut.shortcutName) + "\"",
                            objectSchema({{"input", param("string", "Optional text input for the shortcut")}}));
}

std::vector<std::string> shortcutNames(const json& listing) {
    if (!listing.is_object()) return {};
    auto it = listing.find("shortcuts");
    if (it == listing.end() || !it->is_array()) return {};
    if (!std::all_of(it->begin(), it->end(), [](const json& name) { return name.is_string(); })) return {};
    return it->get<std::vector<std::string>>();
}

}  // namespace velmor::tools
