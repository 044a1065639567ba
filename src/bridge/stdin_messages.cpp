#include "bridge/stdin_messages.h"

#include "base/json_depth.h"

#include <string>

namespace velmor::bridge {

using nlohmann::json;

namespace {

// Follows the events of a parse and keeps the value of the top-level "id" member when it
// is a number, a string or null, stopping as soon as it has it.
class IdFinder : public nlohmann::json_sax<json> {
public:
    bool found = false;
    json id;

    bool null() override { return scalar(nullptr); }
    bool boolean(bool value) override { return scalar(value); }
    bool number_integer(number_integer_t value) override { return scalar(value); }
    bool number_unsigned(number_unsigned_t value) override { return scalar(value); }
    bool number_float(number_float_t value, const string_t&) override { return scalar(value); }
    bool string(string_t& value) override { return scalar(value); }
    bool binary(binary_t&) override { return scalar(nullptr, false); }
    bool start_object(std::size_t) override { return enter(); }
    bool end_object() override { return leave(); }
    bool start_array(std::size_t) override { return enter(); }
    bool end_array() override { return leave(); }
    bool key(string_t& name) override {
        idIsNext_ = depth_ == 1 && name == "id";
        return true;
    }
    bool parse_error(std::size_t, const std::string&, const nlohmann::detail::exception&) override { return false; }

private:
    bool scalar(json value, bool usable = true) {
        if (!idIsNext_) return true;
        found = usable;
        if (usable) id = std::move(value);
        return false;  // the id was the one thing wanted
    }
    bool enter() {
        if (idIsNext_) return false;  // an id that is an object or array is no usable id
        ++depth_;
        return true;
    }
    bool leave() {
        --depth_;
        return true;
    }

    int depth_ = 0;
    bool idIsNext_ = false;
};

}  // namespace

InputMessage readInputMessage(std::string_view line) {
    InputMessage message;
    // A line nested too deeply is still forwarded as a request; the application refuses it.
    json parsed = parseBoundedJson(line);
    if (!parsed.is_object()) return message;
    if (auto id = parsed.find("id"); id != parsed.end()) message.id = std::move(*id);
    auto method = parsed.find("method");
    if (method != parsed.end() && method->is_string()) {
        message.method = method->get<std::string>();
        message.expectsAnswer = !message.method.starts_with("notifications/");
    } else if (method == parsed.end()) {
        message.expectsAnswer = !parsed.contains("id") || !(parsed.contains("result") || parsed.contains("error"));
    }
    return message;
}

json idInPrefix(std::string_view prefix) {
    IdFinder finder;
    json::sax_parse(prefix, &finder, json::input_format_t::json, /*strict=*/false);
    return finder.found ? finder.id : json(nullptr);
}

}  // namespace velmor::bridge
