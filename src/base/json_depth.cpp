#include "base/json_depth.h"

namespace velmor {

using nlohmann::json;

namespace {

// nlohmann's own tree builder, stopped at the first level too many.
class BoundedDomParser : public nlohmann::detail::json_sax_dom_parser<json> {
public:
    using Base = nlohmann::detail::json_sax_dom_parser<json>;
    explicit BoundedDomParser(json& result) : Base(result, /*allow_exceptions=*/false) {}

    bool start_object(std::size_t size) { return enter() && Base::start_object(size); }
    bool start_array(std::size_t size) { return enter() && Base::start_array(size); }
    bool end_object() {
        --depth_;
        return Base::end_object();
    }
    bool end_array() {
        --depth_;
        return Base::end_array();
    }

    bool tooDeep = false;

private:
    bool enter() {
        if (++depth_ <= kMaxJsonDepth) return true;
        tooDeep = true;
        return false;
    }

    size_t depth_ = 0;
};

}  // namespace

json parseBoundedJson(std::string_view text, bool* tooDeep) {
    json result;
    BoundedDomParser builder(result);
    bool parsed = json::sax_parse(text, &builder, json::input_format_t::json, /*strict=*/true);
    if (tooDeep) *tooDeep = builder.tooDeep;
    if (!parsed || builder.is_errored()) return json(json::value_t::discarded);
    return result;
}

}  // namespace velmor
