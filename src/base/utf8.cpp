#include "base/utf8.h"

namespace velmor {

namespace {

// Length of the UTF-8 sequence that starts with `lead`, or 0 when `lead` cannot start one.
int sequenceLength(unsigned char lead) {
    if (lead < 0x80) return 1;
    if (lead >= 0xC2 && lead <= 0xDF) return 2;
    if (lead >= 0xE0 && lead <= 0xEF) return 3;
    if (lead >= 0xF0 && lead <= 0xF4) return 4;
    return 0;
}

bool validContinuation(unsigned char lead, size_t index, unsigned char c) {
    if ((c & 0xC0) != 0x80) return false;
    if (index != 1) return true;
    // Second byte ranges that rule out overlong forms, surrogates and code points past U+10FFFF.
    if (lead == 0xE0) return c >= 0xA0;
    if (lead == 0xED) return c <= 0x9F;
    if (lead == 0xF0) return c >= 0x90;
    if (lead == 0xF4) return c <= 0x8F;
    return true;
}

}  // namespace

Utf8Scan scanUtf8(const std::string& text, size_t from) {
    size_t i = from;
    while (i < text.size()) {
        auto lead = static_cast<unsigned char>(text[i]);
        int length = sequenceLength(lead);
        if (length == 0) return {i, true};
        if (length == 1) {
            ++i;
            continue;
        }
        for (int k = 1; k < length; ++k) {
            if (i + k >= text.size()) return {i, false};  // unfinished, may complete later
            if (!validContinuation(lead, static_cast<size_t>(k), static_cast<unsigned char>(text[i + k])))
                return {i, true};
        }
        i += static_cast<size_t>(length);
    }
    return {i, false};
}

std::optional<char32_t> nextCodePoint(std::string_view text, size_t& at) {
    auto lead = static_cast<unsigned char>(text[at]);
    int length = sequenceLength(lead);
    if (length == 0 || at + static_cast<size_t>(length) > text.size()) {
        ++at;
        return std::nullopt;
    }
    char32_t point = length == 1 ? lead : lead & (0x7F >> length);
    for (int k = 1; k < length; ++k) {
        auto c = static_cast<unsigned char>(text[at + k]);
        if (!validContinuation(lead, static_cast<size_t>(k), c)) {
            ++at;
            return std::nullopt;
        }
        point = (point << 6) | (c & 0x3F);
    }
    at += static_cast<size_t>(length);
    return point;
}

void appendUtf8(std::string& out, char32_t point) {
    if (point < 0x80) {
        out += static_cast<char>(point);
    } else if (point < 0x800) {
        out += static_cast<char>(0xC0 | (point >> 6));
        out += static_cast<char>(0x80 | (point & 0x3F));
    } else if (point < 0x10000) {
        out += static_cast<char>(0xE0 | (point >> 12));
        out += static_cast<char>(0x80 | ((point >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (point & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (point >> 18));
        out += static_cast<char>(0x80 | ((point >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((point >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (point & 0x3F));
    }
}

std::string utf8Prefix(std::string_view text, size_t characters) {
    size_t end = 0;
    for (size_t count = 0; end < text.size() && count < characters; ++count) {
        ++end;
        while (end < text.size() && (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80) ++end;
    }
    return std::string(text.substr(0, end));
}

}  // namespace velmor
