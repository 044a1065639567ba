#include "tools/web_tools.h"

#include "base/text.h"
#include "base/tool_description.h"
#include "base/wait_bounds.h"
#include "browser/scan_answer.h"

#include <algorithm>
#include <cctype>
#include <chrono>
#include <limits>
#include <vector>

namespace velmor::tools {

using nlohmann::json;

namespace {

constexpr const char* kMissingFields = "missing 'fields' object";
constexpr const char* kPress = "press";

json inputSchemaFor(const std::string& actionType) {
    auto valueSchema = [](const char* description) {
        return tool_schema::objectSchema({{"value", tool_schema::param("string", description)}}, {"value"});
    };
    if (actionType == "fill") return valueSchema("Text to fill in");
    if (actionType == "select") {
        return tool_schema::objectSchema(
            {{"value", tool_schema::stringOrListParam(
                           "Option to select, or a list of options; a multi-select keeps what it already holds")}},
            {"value"});
    }
    return tool_schema::objectSchema();
}

// The tools a scan of the tab `targetId` found.
std::vector<browser::WebTool> webToolsOf(const json& scan, const std::string& targetId) {
    std::vector<browser::WebTool> found;
    auto tools = scan.find("tools");
    std::optional<std::string> pageUrl;
    if (auto url = scan.find("url"); url != scan.end() && url->is_string()) pageUrl = url->get<std::string>();
    for (const auto& entry : tools != scan.end() && tools->is_array() ? *tools : json::array()) {
        if (!entry.is_object()) continue;
        auto text = [&](const char* key) -> std::optional<std::string> {
            auto found = entry.find(key);
            if (found == entry.end() || !found->is_string()) return std::nullopt;
            return found->get<std::string>();
        };
        auto name = text("name"), description = text("description"), selector = text("selector"),
             type = text("type");
        if (!name || !description || !selector || !type) continue;
        found.push_back({*name, *description, *selector, *type, inputSchemaFor(*type), pageUrl, targetId});
    }
    return found;
}

// Web tools always mirror the latest scan, even one that found nothing or failed. Clients
// hear of it when that changes what tools/list shows.
void refillWebTools(const browser::ScriptInjector::Scan& scanned, browser::ScannedWebTools& webTools,
                    ToolRegistry& registry) {
    std::vector<browser::WebTool> found;
    if (scanned.result) found = webToolsOf(*scanned.result, scanned.targetId);
    if (webTools.replace(std::move(found))) registry.toolsChanged();
}

// The page text a scan keeps: max_length when given (a whole number from 1 to 100,000),
// else the default.
Result<size_t> textLength(const Arguments& args) {
    auto asked = args.integer("max_length");
    if (!asked) return browser::ScriptInjector::kDefaultTextLength;
    if (*asked < 1 || *asked > static_cast<int64_t>(browser::ScriptInjector::kMaxTextLength))
        return fail("max_length must be between 1 and 100000");
    return static_cast<size_t>(*asked);
}

// The scan as the agent may see it. Its tools never take a name that belongs to a tool a
// call reaches first.
browser::ScriptInjector::Scan checkedScan(browser::ScriptInjector::Scan scan, size_t maxTextLength,
                                          const ToolRouter& router) {
    scan.result = browser::checkedScan(scan.result, maxTextLength, router.registry().takenForWebTools());
    return scan;
}

// A scan that failed is reported as the failure, not as an empty page.
json contentSummary(const Result<json>& scanned) {
    if (!scanned) return errorResult(scanned.error());
    const json& scan = *scanned;
    auto text = [&](const char* key) {
        auto found = scan.find(key);
        return found != scan.end() && found->is_string() ? found->get<std::string>() : std::string();
    };
    json summary = {{"url", text("url")}, {"title", text("title")}};
    for (const char* key : {"headings", "content", "toolCount", "dialog", "unread_frames"}) {
        if (auto found = scan.find(key); found != scan.end()) summary[key] = *found;
    }
    return summary;
}

// What the caller's own script answered is its data: an object that would read as a failed
// call comes back under "result", as the script's other values do.
json scriptData(Result<json> ran) {
    if (!ran) return errorResult(ran.error());
    if (isFailure(*ran)) return json{{"result", std::move(*ran)}};
    return std::move(*ran);
}

std::string fillToolName(const std::string& field) {
    std::string name = "fill_" + lowerAscii(field);
    std::replace(name.begin(), name.end(), ' ', '_');
    return name;
}

}  // namespace

void installWebTools(ToolRouter& router, const browser::ScriptInjector& injector,
                     browser::BrowserSessionManager& sessions) {
    router.registry().handle("inject_webmcp", [&injector](const Arguments& args) {
        return answerOf(injector.injectPageAgent(args.string("browser").value_or("auto")));
    });
    router.registry().handle("web_scan", [&injector, &sessions, &router](const Arguments& args) {
        auto length = textLength(args);
        if (!length) return errorResult(length.error());
        size_t maxLength = *length;
        auto scan = checkedScan(injector.scan(args.string("browser").value_or("auto"), args.string("url"), maxLength),
                                maxLength, router);
        refillWebTools(scan, sessions.webTools(), router.registry());
        return answerOf(std::move(scan.result));
    });
    router.registry().handle("web_action", [&injector, &sessions](const Arguments& args) {
        auto name = args.string("tool_name");
        auto action = args.string("action");
        if (action && *action != kPress) return errorResult("unknown action '" + *action + "': only 'press' is known");
        if (action && !args.string("value")) return errorResult(missingField("value"));
        auto value = args.stringOrList("value");
        // A key press needs no element: it goes to whatever has the focus.
        if (action && !name) return answerOf(injector.execute(kPress, "", value, {args.string("url"), ""}));
        if (!name) return errorResult(missingField("tool_name"));
        auto tool = sessions.webTools().get(*name);
        if (!tool) return errorResult(webToolNotFound(*name));
        if (auto valueFits = checkWebToolValue(action ? *action : tool->actionType, args.raw()); !valueFits)
            return errorResult(valueFits.error());
        return runWebTool(injector, *tool, action, value);
    });
    router.registry().handle("web_navigate", [&injector](const Arguments& args) {
        auto path = args.string("path");
        if (!path) return errorResult(missingField("path"));
        return answerOf(injector.navigate(*path, args.string("url")));
    });
    router.registry().handle("web_content", [&injector, &router](const Arguments& args) {
        auto length = textLength(args);
        if (!length) return errorResult(length.error());
        size_t maxLength = *length;
        return contentSummary(checkedScan(injector.scan("auto", args.string("url"), maxLength), maxLength, router).result);
    });
    router.registry().handle("web_execute_js", [&injector](const Arguments& args) {
        auto js = args.string("js");
        if (!js) return errorResult(missingField("js"));
        return scriptData(injector.runJS(*js, args.string("browser").value_or("auto"), args.string("url")));
    });
    router.registry().handle("web_wait_for", [&injector](const Arguments& args) {
        browser::ScriptInjector::Wait wait{args.string("text").value_or(""), args.string("selector").value_or(""),
                                           args.boolean("gone").value_or(false)};
        if (wait.text.empty() && wait.selector.empty()) return errorResult("missing 'text' or 'selector'");
        if (auto asked = args.integer("timeout_ms")) {
            if (*asked < 0) return errorResult("timeout_ms must be 0 or more");
            wait.limit = std::chrono::milliseconds(std::min<int64_t>(*asked, std::numeric_limits<int32_t>::max()));
            if (auto allowed = checkWaitLength(wait.limit); !allowed) return errorResult(allowed.error());
        }
        return answerOf(injector.waitFor(wait, args.string("url")));
    });
    router.registry().handle("web_handle_dialog", [&injector](const Arguments& args) {
        return answerOf(injector.answerDialog(args.boolean("accept").value_or(true), args.string("prompt_text"),
                                              args.string("url")));
    });
    router.registry().handle("fill_form", [&injector, &sessions](const Arguments& args) {
        const json* fields = args.object("fields");
        if (!fields) return errorResult(kMissingFields);
        auto url = args.string("url");
        json results = json::array();
        for (const auto& [field, value] : fields->items()) {
            std::string name = fillToolName(field);
            auto tool = sessions.webTools().get(name);
            if (!tool) {
                results.push_back({{"field", field}, {"error", "tool '" + name + "' not found"}});
                continue;
            }
            std::string text = value.is_string() ? value.get<std::string>() : value.dump();
            // A tab the call names takes the place of the one the scan found.
            if (url) {
                tool->urlPattern = url;
                tool->targetId.clear();
            }
            results.push_back({{"field", field}, {"result", runWebTool(injector, *tool, std::nullopt, text)}});
        }
        return json{{"status", "filled"}, {"results", results}};
    });
}

json runWebTool(const browser::ScriptInjector& injector, const browser::WebTool& tool,
                const std::optional<std::string>& action, const std::optional<std::string>& value) {
    return answerOf(
        injector.execute(action.value_or(tool.actionType), tool.selector, value, {tool.urlPattern, tool.targetId}));
}

WebToolExecutor webToolExecutor(const browser::ScriptInjector& injector) {
    return [&injector](const browser::WebTool& tool, const std::optional<std::string>& value) {
        return runWebTool(injector, tool, std::nullopt, value);
    };
}

}  // namespace velmor::tools
