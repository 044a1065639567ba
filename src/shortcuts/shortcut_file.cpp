#include "shortcuts/shortcut_file.h"

#include <plist/plist.h>

#include "shortcuts/plist_check.h"

#include <cmath>
#include <cstdlib>
#include <fstream>
#include <memory>

namespace velmor::shortcuts {

namespace {

using nlohmann::json;

constexpr const char* kActions = "WFWorkflowActions";
constexpr const char* kIdentifier = "WFWorkflowActionIdentifier";
constexpr const char* kParameters = "WFWorkflowActionParameters";

struct PlistFree {
    void operator()(plist_t node) const { plist_free(node); }
};
using PlistPtr = std::unique_ptr<void, PlistFree>;

plist_t toPlist(const json& value) {
    switch (value.type()) {
    case json::value_t::string: return plist_new_string(value.get_ref<const std::string&>().c_str());
    case json::value_t::boolean: return plist_new_bool(value.get<bool>() ? 1 : 0);
    case json::value_t::number_unsigned: return plist_new_uint(value.get<uint64_t>());
    case json::value_t::number_integer: return plist_new_uint(static_cast<uint64_t>(value.get<int64_t>()));
    case json::value_t::number_float: return plist_new_real(value.get<double>());
    case json::value_t::array: {
        plist_t array = plist_new_array();
        for (const auto& item : value) {
            if (plist_t node = toPlist(item)) plist_array_append_item(array, node);
        }
        return array;
    }
    case json::value_t::object: {
        plist_t dict = plist_new_dict();
        for (const auto& [key, item] : value.items()) {
            if (plist_t node = toPlist(item)) plist_dict_set_item(dict, key.c_str(), node);
        }
        return dict;
    }
    default: return nullptr;  // null and binary have no place in a property list
    }
}

std::string takeString(char* text) {
    std::string copy = text ? text : "";
    free(text);
    return copy;
}

// Dates and data blobs carry nothing the actions here read: they become null.
json toJson(plist_t node, int depth) {
    if (depth > kMaxPlistDepth) return nullptr;
    switch (plist_get_node_type(node)) {
    case PLIST_STRING: {
        char* text = nullptr;
        plist_get_string_val(node, &text);
        return takeString(text);
    }
    case PLIST_BOOLEAN: {
        uint8_t flag = 0;
        plist_get_bool_val(node, &flag);
        return flag != 0;
    }
    case PLIST_UINT: {
        uint64_t number = 0;
        plist_get_uint_val(node, &number);
        return number;
    }
    case PLIST_REAL: {
        double number = 0;
        plist_get_real_val(node, &number);
        return std::isfinite(number) ? json(number) : json(nullptr);
    }
    case PLIST_ARRAY: {
        json array = json::array();
        uint32_t size = plist_array_get_size(node);
        for (uint32_t i = 0; i < size; ++i) array.push_back(toJson(plist_array_get_item(node, i), depth + 1));
        return array;
    }
    case PLIST_DICT: {
        json object = json::object();
        plist_dict_iter it = nullptr;
        plist_dict_new_iter(node, &it);
        for (;;) {
            char* key = nullptr;
            plist_t item = nullptr;
            plist_dict_next_item(node, it, &key, &item);
            if (!item) {
                free(key);
                break;
            }
            object[takeString(key)] = toJson(item, depth + 1);
        }
        free(it);
        return object;
    }
    default: return nullptr;
    }
}

json shortcutDocument(const std::vector<ShortcutAction>& actions) {
    json list = json::array();
    for (const auto& action : actions) {
        json parameters = action.parameters.is_object() ? action.parameters : json::object();
        list.push_back({{kIdentifier, action.identifier}, {kParameters, std::move(parameters)}});
    }
    return {
        {"WFWorkflowMinimumClientVersionString", "900"},
        {"WFWorkflowMinimumClientVersion", 900},
        {"WFWorkflowIcon", {{"WFWorkflowIconStartColor", 4282601983u}, {"WFWorkflowIconGlyphNumber", 59511}}},
        {"WFWorkflowInputContentItemClasses", {"WFStringContentItem", "WFURLContentItem"}},
        {kActions, std::move(list)},
    };
}

Result<void> checkTopLevel(const json& document) {
    if (!document.is_object()) return fail("the file is not a property list holding a dictionary");
    const std::pair<const char*, bool (json::*)() const noexcept> expected[] = {
        {"WFWorkflowMinimumClientVersionString", &json::is_string},
        {"WFWorkflowMinimumClientVersion", &json::is_number_integer},
        {"WFWorkflowIcon", &json::is_object},
        {"WFWorkflowInputContentItemClasses", &json::is_array},
        {kActions, &json::is_array},
    };
    for (const auto& [key, isRightKind] : expected) {
        auto it = document.find(key);
        if (it == document.end()) return fail(std::string("the file has no ") + key);
        if (!((*it).*isRightKind)()) return fail(std::string("the file's ") + key + " is of the wrong kind");
    }
    return succeeded();
}

}  // namespace

json textToken(const std::string& text) {
    return {{"Value", {{"string", text}, {"attachmentsByRange", json::object()}}},
            {"WFSerializationType", "WFTextTokenString"}};
}

std::optional<std::string> parameterText(const json& parameter) {
    if (parameter.is_string()) return parameter.get<std::string>();
    if (parameter.is_object() && parameter.value("WFSerializationType", "") == "WFTextTokenString") {
        auto value = parameter.find("Value");
        if (value != parameter.end() && value->is_object() && value->contains("string") && (*value)["string"].is_string())
            return (*value)["string"].get<std::string>();
    }
    return std::nullopt;
}

Result<std::string> shortcutFileBytes(const std::vector<ShortcutAction>& actions) {
    PlistPtr root(toPlist(shortcutDocument(actions)));
    char* bytes = nullptr;
    uint32_t length = 0;
    if (root) plist_to_bin(root.get(), &bytes, &length);
    if (!bytes) return fail("failed to serialize plist");
    std::string file(bytes, length);
    plist_to_bin_free(bytes);
    return file;
}

Result<std::vector<ShortcutAction>> parseShortcutFile(const std::string& bytes) {
    if (bytes.size() > kMaxShortcutFileBytes) return fail("the file is too large to be a shortcut");
    // The parser trusts a file's offsets and contents and aborts on some of them, so it
    // only reads what the check has walked first.
    VELMOR_RETURN_IF_FAILED(bytes.starts_with("bplist") ? checkBinaryPlist(bytes) : checkXmlPlist(bytes));
    plist_t parsed = nullptr;
    if (!bytes.empty()) plist_from_memory(bytes.data(), static_cast<uint32_t>(bytes.size()), &parsed);
    if (!parsed) return fail("the file is not a property list");
    PlistPtr root(parsed);
    json document = toJson(root.get(), 0);
    VELMOR_RETURN_IF_FAILED(checkTopLevel(document));

    std::vector<ShortcutAction> actions;
    for (const auto& entry : document[kActions]) {
        size_t number = actions.size() + 1;
        if (!entry.is_object()) return fail("action " + std::to_string(number) + " is not a dictionary");
        auto identifier = entry.find(kIdentifier);
        if (identifier == entry.end() || !identifier->is_string() || identifier->get_ref<const std::string&>().empty())
            return fail("action " + std::to_string(number) + " has no identifier");
        auto parameters = entry.find(kParameters);
        if (parameters == entry.end() || !parameters->is_object())
            return fail("action " + std::to_string(number) + " has no parameter dictionary");
        actions.push_back({identifier->get<std::string>(), *parameters});
    }
    return actions;
}

Result<std::string> readShortcutBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return fail("the file cannot be read");
    std::string bytes;
    bytes.resize(kMaxShortcutFileBytes + 1);
    in.read(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    if (in.bad()) return fail("the file cannot be read");
    bytes.resize(static_cast<size_t>(in.gcount()));
    return bytes;
}

Result<std::vector<ShortcutAction>> readShortcutFile(const std::string& path) {
    Result<std::string> bytes = readShortcutBytes(path);
    VELMOR_RETURN_IF_FAILED(bytes);
    return parseShortcutFile(*bytes);
}

}  // namespace velmor::shortcuts
