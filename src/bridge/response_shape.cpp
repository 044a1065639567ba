#include "bridge/response_shape.h"

#include "base/json_depth.h"

#include <string>

namespace velmor::bridge {

using nlohmann::json;

namespace {

// Follows a parse and notes what the top level holds; a later member of the same name
// overrides an earlier one, as it does in a built value.
class ResponseShape : public nlohmann::json_sax<json> {
public:
    explicit ResponseShape(const json& requestId) : requestId_(requestId) {}

    bool isResponse() const {
        return versionIs2_ && idMatches_ && hasResult_ != hasError_ && (!hasError_ || errorIsObject_);
    }

    bool null() override { return scalar(json(nullptr)); }
    bool boolean(bool value) override { return scalar(json(value)); }
    bool number_integer(number_integer_t value) override { return scalar(json(value)); }
    bool number_unsigned(number_unsigned_t value) override { return scalar(json(value)); }
    bool number_float(number_float_t value, const string_t&) override { return scalar(json(value)); }
    bool string(string_t& value) override {
        if (depth_ == 1 && key_ == Key::Version) versionIs2_ = value == "2.0";
        return scalar(json(value));
    }
    bool binary(binary_t&) override { return false; }
    bool start_object(std::size_t) override { return enter(true); }
    bool start_array(std::size_t) override { return enter(false); }
    bool end_object() override { return leave(); }
    bool end_array() override { return leave(); }
    bool key(string_t& name) override {
        if (depth_ != 1) return true;
        key_ = name == "jsonrpc" ? Key::Version
               : name == "id"    ? Key::Id
               : name == "result" ? Key::Result
               : name == "error"  ? Key::Error
                                  : Key::Other;
        if (key_ == Key::Result) hasResult_ = true;
        if (key_ == Key::Error) hasError_ = true;
        return true;
    }
    bool parse_error(std::size_t, const std::string&, const nlohmann::detail::exception&) override { return false; }

private:
    enum class Key { Other, Version, Id, Result, Error };

    // A value at the top level of the answer, under the last key.
    bool scalar(const json& value) {
        if (depth_ == 0) return false;  // not an object
        if (depth_ != 1) return true;
        if (key_ == Key::Version && !value.is_string()) versionIs2_ = false;
        if (key_ == Key::Id) idMatches_ = value == requestId_;
        if (key_ == Key::Error) errorIsObject_ = false;
        return true;
    }
    bool enter(bool isObject) {
        if (depth_ == 0 && !isObject) return false;
        if (depth_ == 1) {
            if (key_ == Key::Version || key_ == Key::Id) return false;  // no usable version; an id only a value compares
            if (key_ == Key::Error) errorIsObject_ = isObject;
        }
        return ++depth_ <= kMaxJsonDepth;
    }
    bool leave() {
        --depth_;
        return true;
    }

    const json& requestId_;
    std::size_t depth_ = 0;
    Key key_ = Key::Other;
    bool versionIs2_ = false, idMatches_ = false, hasResult_ = false, hasError_ = false, errorIsObject_ = false;
};

}  // namespace

bool isResponseText(std::string_view text, const json& requestId) {
    ResponseShape shape(requestId);
    return json::sax_parse(text, &shape, json::input_format_t::json, /*strict=*/true) && shape.isResponse();
}

}  // namespace velmor::bridge
