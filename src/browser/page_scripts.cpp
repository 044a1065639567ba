#include "browser/page_scripts.h"

#include "browser/page_js.h"

#include <algorithm>
#include <initializer_list>
#include <nlohmann/json.hpp>
#include <string_view>
#include <utility>

namespace velmor::browser {

namespace {

// A JSON string is a valid JavaScript string literal once the two line separators, which
// JSON leaves raw and older JavaScript engines reject inside literals, are escaped too.
std::string literal(const std::string& text) {
    std::string quoted = nlohmann::json(text).dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
    std::string out;
    out.reserve(quoted.size());
    for (size_t i = 0; i < quoted.size(); ++i) {
        if (quoted.compare(i, 3, "\xE2\x80\xA8") == 0 || quoted.compare(i, 3, "\xE2\x80\xA9") == 0) {
            out += quoted[i + 2] == '\xA8' ? "\\u2028" : "\\u2029";
            i += 2;
        } else {
            out += quoted[i];
        }
    }
    return out;
}

// Replaces every placeholder of the template in one pass over the template itself, so the
// text inserted for one placeholder is never searched for another: a selector that contains
// "__VALUE__" stays part of the selector.
std::string fill(std::string_view script, std::initializer_list<std::pair<std::string_view, std::string>> values) {
    std::string out;
    out.reserve(script.size());
    size_t copied = 0;
    for (size_t at = script.find("__"); at != std::string_view::npos; at = script.find("__", at)) {
        auto match = std::find_if(values.begin(), values.end(),
                                  [&](const auto& value) { return script.substr(at).starts_with(value.first); });
        if (match == values.end()) {
            ++at;
            continue;
        }
        out.append(script.substr(copied, at - copied));
        out += match->second;
        at += match->first.size();
        copied = at;
    }
    out.append(script.substr(copied));
    return out;
}

}  // namespace

std::string buildScanScript(size_t maxTextLength) {
    return fill(page_js::page_scan, {{"__MAX_TEXT_LENGTH__", std::to_string(maxTextLength)}});
}

std::string buildActionScript(const std::string& action, const std::string& selector,
                              const std::optional<std::string>& value) {
    return fill(page_js::page_action, {{"__ACTION__", literal(action)},
                                       {"__SELECTOR__", literal(selector)},
                                       {"__VALUE__", literal(value.value_or(""))}});
}

std::string buildNavigationScript(const std::string& path) {
    return fill(page_js::page_navigate, {{"__PATH__", literal(path)}});
}

std::string buildWaitScript(const std::string& text, const std::string& selector) {
    return fill(page_js::page_wait, {{"__TEXT__", literal(text)}, {"__SELECTOR__", literal(selector)}});
}

std::string buildPageAgentScript(const std::string& scheme, uint16_t port, const std::string& nonce) {
    return fill(page_js::page_agent,
                {{"__SCHEME__", literal(scheme)}, {"__PORT__", std::to_string(port)}, {"__NONCE__", literal(nonce)}});
}

}  // namespace velmor::browser
