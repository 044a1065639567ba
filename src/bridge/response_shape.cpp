#include "bridge/response_shape.h"

#include "base/json_depth.h"

#include <cmath>
#include <cstdlib>
#include <string>

namespace velmor::bridge {

using nlohmann::json;

namespace {

// One strict pass over the text (JSON as RFC 8259 has it, strings in well-formed UTF-8, at
// most kMaxJsonDepth levels: what parseBoundedJson accepts) that looks only at the top
// level's members. A general parser's events make a value of every string on the way; a
// tool list is tens of kilobytes of them, and every answer passes through here.
class ShapeScan {
public:
    ShapeScan(std::string_view text, const json& requestId)
        : at_(text.data()), end_(text.data() + text.size()), requestId_(requestId) {}

    bool isResponse() {
        // The parsers this check stands in for pass over a leading byte order mark.
        if (end_ - at_ >= 3 && std::string_view(at_, 3) == "\xEF\xBB\xBF") at_ += 3;
        skipSpace();
        if (!topObject()) return false;
        skipSpace();
        return at_ == end_ && versionIs2_ && idMatches_ && hasResult_ != hasError_ && (!hasError_ || errorIsObject_);
    }

private:
    enum class Member { Other, Version, Id, Result, Error };

    bool topObject() {
        if (!take('{')) return false;
        skipSpace();
        if (take('}')) return true;
        for (;;) {
            const char* keyStart = at_;
            if (!string()) return false;
            Member member = memberNamed(std::string_view(keyStart, at_ - keyStart));
            skipSpace();
            if (!take(':')) return false;
            skipSpace();
            const char* valueStart = at_;
            if (!value(1)) return false;
            if (!note(member, std::string_view(valueStart, at_ - valueStart))) return false;
            skipSpace();
            if (take(',')) {
                skipSpace();
                continue;
            }
            return take('}');
        }
    }

    // A later member of the same name overrides an earlier one, as it does in a built value.
    bool note(Member member, std::string_view raw) {
        const bool container = raw.front() == '{' || raw.front() == '[';
        switch (member) {
        case Member::Version:
            if (container) return false;  // no usable version
            versionIs2_ = raw == "\"2.0\"" || (raw.front() == '"' && decoded(raw) == "2.0");
            return true;
        case Member::Id:
            if (container) return false;  // an id only a built value compares
            idMatches_ = decoded(raw) == requestId_;
            return true;
        case Member::Result:
            hasResult_ = true;
            return true;
        case Member::Error:
            hasError_ = true;
            errorIsObject_ = raw.front() == '{';
            return true;
        case Member::Other:
            return true;
        }
        return true;
    }

    // A short scalar already found well-formed, as a value.
    static json decoded(std::string_view raw) { return json::parse(raw, nullptr, /*allow_exceptions=*/false); }

    static Member memberNamed(std::string_view rawKey) {
        json name;
        std::string_view key = rawKey.substr(1, rawKey.size() - 2);
        if (key.find('\\') != std::string_view::npos) {  // escapes spell the same names
            name = decoded(rawKey);
            key = name.get_ref<const std::string&>();
        }
        return key == "jsonrpc" ? Member::Version
               : key == "id"    ? Member::Id
               : key == "result" ? Member::Result
               : key == "error"  ? Member::Error
                                 : Member::Other;
    }

    bool value(size_t depth) {
        if (at_ == end_) return false;
        switch (*at_) {
        case '{': return object(depth + 1);
        case '[': return array(depth + 1);
        case '"': return string();
        case 't': return literal("true");
        case 'f': return literal("false");
        case 'n': return literal("null");
        default: return number();
        }
    }

    bool object(size_t depth) {
        if (depth > kMaxJsonDepth) return false;
        ++at_;
        skipSpace();
        if (take('}')) return true;
        for (;;) {
            if (!string()) return false;
            skipSpace();
            if (!take(':')) return false;
            skipSpace();
            if (!value(depth)) return false;
            skipSpace();
            if (take(',')) {
                skipSpace();
                continue;
            }
            return take('}');
        }
    }

    bool array(size_t depth) {
        if (depth > kMaxJsonDepth) return false;
        ++at_;
        skipSpace();
        if (take(']')) return true;
        for (;;) {
            if (!value(depth)) return false;
            skipSpace();
            if (take(',')) {
                skipSpace();
                continue;
            }
            return take(']');
        }
    }

    bool string() {
        if (!take('"')) return false;
        while (at_ != end_) {
            const auto c = static_cast<unsigned char>(*at_);
            if (c == '"') {
                ++at_;
                return true;
            }
            if (c == '\\') {
                if (!escape()) return false;
            } else if (c < 0x20) {
                return false;
            } else if (c < 0x80) {
                ++at_;
            } else if (!utf8Sequence()) {
                return false;
            }
        }
        return false;
    }

    bool escape() {
        ++at_;
        if (at_ == end_) return false;
        switch (*at_++) {
        case '"': case '\\': case '/': case 'b': case 'f': case 'n': case 'r': case 't': return true;
        case 'u': break;
        default: return false;
        }
        unsigned unit = 0;
        if (!hex4(unit)) return false;
        if (unit >= 0xDC00 && unit <= 0xDFFF) return false;  // a low surrogate alone
        if (unit < 0xD800 || unit > 0xDBFF) return true;
        // A high surrogate must be followed by its low one.
        unsigned low = 0;
        return end_ - at_ >= 2 && at_[0] == '\\' && at_[1] == 'u' && (at_ += 2, hex4(low)) && low >= 0xDC00 &&
               low <= 0xDFFF;
    }

    bool hex4(unsigned& unit) {
        if (end_ - at_ < 4) return false;
        for (int i = 0; i < 4; ++i) {
            const char c = *at_++;
            unit <<= 4;
            if (c >= '0' && c <= '9') unit |= static_cast<unsigned>(c - '0');
            else if (c >= 'a' && c <= 'f') unit |= static_cast<unsigned>(c - 'a' + 10);
            else if (c >= 'A' && c <= 'F') unit |= static_cast<unsigned>(c - 'A' + 10);
            else return false;
        }
        return true;
    }

    // One multi-byte character: no overlong forms, no surrogates, nothing above U+10FFFF.
    bool utf8Sequence() {
        const auto lead = static_cast<unsigned char>(*at_++);
        int continuations = 0;
        unsigned char low = 0x80, high = 0xBF;  // the bounds of the first continuation byte
        if (lead >= 0xC2 && lead <= 0xDF) continuations = 1;
        else if (lead == 0xE0) continuations = 2, low = 0xA0;
        else if ((lead >= 0xE1 && lead <= 0xEC) || lead == 0xEE || lead == 0xEF) continuations = 2;
        else if (lead == 0xED) continuations = 2, high = 0x9F;
        else if (lead == 0xF0) continuations = 3, low = 0x90;
        else if (lead >= 0xF1 && lead <= 0xF3) continuations = 3;
        else if (lead == 0xF4) continuations = 3, high = 0x8F;
        else return false;
        for (int i = 0; i < continuations; ++i, low = 0x80, high = 0xBF) {
            if (at_ == end_) return false;
            const auto c = static_cast<unsigned char>(*at_++);
            if (c < low || c > high) return false;
        }
        return true;
    }

    bool number() {
        const char* start = at_;
        take('-');
        if (take('0')) {
        } else if (!digits()) {
            return false;
        }
        if (take('.') && !digits()) return false;
        bool exponent = false;
        if (at_ != end_ && (*at_ == 'e' || *at_ == 'E')) {
            ++at_;
            if (!take('+')) take('-');
            if (!digits()) return false;
            exponent = true;
        }
        // Like the parsers, refuse a number too large for a double: only an exponent or
        // hundreds of digits make one.
        if (!exponent && at_ - start < 300) return true;
        return std::isfinite(std::strtod(std::string(start, at_).c_str(), nullptr));
    }

    bool digits() {
        const char* start = at_;
        while (at_ != end_ && *at_ >= '0' && *at_ <= '9') ++at_;
        return at_ != start;
    }

    bool literal(std::string_view word) {
        if (static_cast<size_t>(end_ - at_) < word.size() || std::string_view(at_, word.size()) != word) return false;
        at_ += word.size();
        return true;
    }

    bool take(char c) {
        if (at_ == end_ || *at_ != c) return false;
        ++at_;
        return true;
    }

    void skipSpace() {
        while (at_ != end_ && (*at_ == ' ' || *at_ == '\n' || *at_ == '\r' || *at_ == '\t')) ++at_;
    }

    const char* at_;
    const char* end_;
    const json& requestId_;
    bool versionIs2_ = false, idMatches_ = false, hasResult_ = false, hasError_ = false, errorIsObject_ = false;
};

}  // namespace

bool isResponseText(std::string_view text, const json& requestId) { return ShapeScan(text, requestId).isResponse(); }

}  // namespace velmor::bridge
