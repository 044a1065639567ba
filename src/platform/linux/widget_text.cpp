#include "platform/linux/widget_text.h"

#include "base/text.h"
#include "base/utf8.h"

#include <algorithm>
#include <cstdlib>
#include <optional>
#include <unordered_set>

namespace velmor::platform {

namespace {

bool isAsciiLetter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
bool isBlank(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; }

// What a mnemonic can mark: a letter or digit, ASCII or not.
bool markable(char c) {
    return isAsciiLetter(c) || (c >= '0' && c <= '9') || static_cast<unsigned char>(c) >= 0x80;
}

// Whether the marker at `at` marks the character after it. Only one at the start of a word
// counts: a marker inside a word is as often the character itself ("id_rsa", "R&D"), in a
// text the toolkit already read.
bool marksNext(std::string_view text, size_t at) {
    if (at + 1 >= text.size() || !markable(text[at + 1])) return false;
    return at == 0 || isBlank(text[at - 1]);
}

// "Add A_larm Add Alarm": the raw text followed by the same text read, as GTK 4 joins a
// widget's label and its own text. The read half, when it is that.
std::optional<std::string> readHalf(std::string_view text, char marker) {
    if (text.size() < 4 || text.size() % 2 != 0) return std::nullopt;
    size_t readLength = (text.size() - 2) / 2;
    std::string_view raw = text.substr(0, readLength + 1);
    std::string_view read = text.substr(readLength + 2);
    if (text[readLength + 1] != ' ' || std::count(raw.begin(), raw.end(), marker) != 1) return std::nullopt;
    std::string unmarked(raw);
    unmarked.erase(unmarked.find(marker), 1);
    if (unmarked != read) return std::nullopt;
    return std::string(read);
}

}  // namespace

std::string withoutMnemonic(std::string_view text, char marker) {
    if (auto read = readHalf(text, marker)) return *read;
    int mnemonics = 0;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] != marker) continue;
        if (i + 1 < text.size() && text[i + 1] == marker) ++i;
        else if (marksNext(text, i)) ++mnemonics;
    }
    std::string read;
    read.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == marker && i + 1 < text.size() && text[i + 1] == marker) {
            read += marker;
            ++i;
        } else if (!(text[i] == marker && mnemonics == 1 && marksNext(text, i))) {
            read += text[i];
        }
    }
    return read;
}

namespace {

// The tags of HTML and Pango markup that rich text in widgets uses; any of them makes a text
// markup.
const std::unordered_set<std::string>& markupTags() {
    static const std::unordered_set<std::string> tags = {
        "html", "head", "body", "qt", "p", "div", "span", "br", "b", "i", "u", "s", "em", "strong", "big", "small",
        "tt", "sub", "sup", "a", "font", "code", "pre", "nobr", "center", "img", "hr", "ul", "ol", "li", "dl", "dt",
        "dd", "table", "tr", "td", "th", "thead", "tbody", "h1", "h2", "h3", "h4", "h5", "h6", "blockquote", "cite",
        "kbd", "var", "markup", "style", "meta", "title", "strike", "del", "ins", "mark", "abbr",
    };
    return tags;
}

// Tags that end a line or a block: the words on either side stay apart.
bool breaksText(const std::string& tag) {
    static const std::unordered_set<std::string> breaking = {
        "br", "p", "div", "li", "tr", "td", "th", "hr", "ul", "ol", "dl", "dt", "dd", "table",
        "h1", "h2", "h3", "h4", "h5", "h6", "blockquote", "pre", "center", "body",
    };
    return breaking.contains(tag);
}

// One tag at `at` (which holds '<'): its lower-cased name and where it ends (one past '>').
struct Tag {
    std::string name;
    bool closing = false;
    size_t end = 0;
};

std::optional<Tag> tagAt(std::string_view text, size_t at) {
    size_t i = at + 1;
    Tag tag;
    if (i < text.size() && text[i] == '/') {
        tag.closing = true;
        ++i;
    }
    size_t nameStart = i;
    while (i < text.size() && (isAsciiLetter(text[i]) || (i > nameStart && text[i] >= '0' && text[i] <= '9'))) ++i;
    if (i == nameStart || i >= text.size()) return std::nullopt;
    if (text[i] != '>' && text[i] != '/' && !isBlank(text[i])) return std::nullopt;
    tag.name = lowerAscii(text.substr(nameStart, i - nameStart));
    char quote = 0;
    for (; i < text.size(); ++i) {
        if (quote) {
            if (text[i] == quote) quote = 0;
        } else if (text[i] == '"' || text[i] == '\'') {
            quote = text[i];
        } else if (text[i] == '>') {
            tag.end = i + 1;
            return tag;
        }
    }
    return std::nullopt;
}

bool isMarkup(std::string_view text) {
    for (size_t at = text.find('<'); at != std::string_view::npos; at = text.find('<', at + 1)) {
        auto tag = tagAt(text, at);
        if (tag && markupTags().contains(tag->name)) return true;
    }
    return false;
}

// The entity at `at` (which holds '&') decoded into `out`; how many bytes it took, 0 when it
// is none.
size_t decodeEntity(std::string_view text, size_t at, std::string& out) {
    size_t semicolon = text.find(';', at);
    if (semicolon == std::string_view::npos || semicolon - at > 10) return 0;
    std::string_view entity = text.substr(at + 1, semicolon - at - 1);
    static const std::pair<std::string_view, std::string_view> named[] = {
        {"amp", "&"}, {"lt", "<"}, {"gt", ">"}, {"quot", "\""}, {"apos", "'"}, {"nbsp", " "},
    };
    for (const auto& [name, character] : named) {
        if (entity == name) {
            out += character;
            return semicolon - at + 1;
        }
    }
    if (entity.size() < 2 || entity[0] != '#') return 0;
    bool hex = entity[1] == 'x' || entity[1] == 'X';
    std::string digits(entity.substr(hex ? 2 : 1));
    if (digits.empty() || digits.size() > 8) return 0;
    char* end = nullptr;
    unsigned long point = std::strtoul(digits.c_str(), &end, hex ? 16 : 10);
    if (*end != '\0' || point == 0 || point > 0x10FFFF || (point >= 0xD800 && point <= 0xDFFF)) return 0;
    appendUtf8(out, static_cast<char32_t>(point));
    return semicolon - at + 1;
}

}  // namespace

std::string withoutMarkup(std::string_view text) {
    if (!isMarkup(text)) return std::string(text);
    std::string read;
    bool hidden = false;  // inside <style> or <head>, whose text is not shown
    for (size_t i = 0; i < text.size();) {
        if (text[i] == '<') {
            if (auto tag = tagAt(text, i)) {
                if (tag->name == "style" || tag->name == "head" || tag->name == "title") hidden = !tag->closing;
                if (breaksText(tag->name)) read += ' ';
                i = tag->end;
                continue;
            }
            // A comment or a declaration: up to its end.
            if (text.substr(i).starts_with("<!")) {
                size_t end = text.find('>', i);
                i = end == std::string_view::npos ? text.size() : end + 1;
                continue;
            }
        }
        if (hidden) {
            ++i;
            continue;
        }
        if (text[i] == '&') {
            if (size_t taken = decodeEntity(text, i, read)) {
                i += taken;
                continue;
            }
        }
        read += isBlank(text[i]) ? ' ' : text[i];
        ++i;
    }
    // Markup's own line breaks and indentation are not the text's.
    std::string collapsed;
    for (char c : read) {
        if (c == ' ' && (collapsed.empty() || collapsed.back() == ' ')) continue;
        collapsed += c;
    }
    if (!collapsed.empty() && collapsed.back() == ' ') collapsed.pop_back();
    return collapsed;
}

}  // namespace velmor::platform
