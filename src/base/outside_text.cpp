#include "base/outside_text.h"

#include "base/text.h"
#include "base/utf8.h"

namespace velmor::outside_text {

using nlohmann::json;

namespace {

constexpr char32_t kReplacement = 0xFFFD;
constexpr std::string_view kCut = "...";

bool inRange(char32_t c, char32_t low, char32_t high) { return c >= low && c <= high; }

// Characters that separate words or lines: a space stands in for them.
bool spacing(char32_t c) { return inRange(c, 0x09, 0x0D) || c == 0x85 || c == 0x2028 || c == 0x2029; }

// Characters that show nothing of their own but can hide text or change the order it is read in.
bool hidden(char32_t c) {
    return c < 0x20 || inRange(c, 0x7F, 0x9F) || c == 0x061C || inRange(c, 0x200B, 0x200F) ||
           inRange(c, 0x202A, 0x202E) || inRange(c, 0x2060, 0x2064) || inRange(c, 0x2066, 0x2069) || c == 0xFEFF;
}

// The number of characters in valid UTF-8 text.
size_t characterCount(std::string_view text) {
    size_t count = 0;
    for (unsigned char c : text) count += (c & 0xC0) != 0x80;
    return count;
}

}  // namespace

std::string clean(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    size_t at = 0;
    while (at < text.size()) {
        char32_t c = nextCodePoint(text, at).value_or(kReplacement);
        if (spacing(c)) {
            // One space for a run: "a\r\nb" reads "a b".
            if (!out.empty() && out.back() != ' ') out += ' ';
        } else if (!hidden(c)) {
            appendUtf8(out, c);
        }
    }
    return std::string(trimmed(out));
}

std::string capped(std::string_view text, size_t characters) {
    if (characterCount(text) <= characters) return std::string(text);
    if (characters <= kCut.size()) return std::string(kCut.substr(0, characters));
    return utf8Prefix(text, characters - kCut.size()) + std::string(kCut);
}

std::string shown(std::string_view text, size_t characters) { return capped(clean(text), characters); }

bool isClean(std::string_view text) { return clean(text) == text; }

bool fitToBudget(json& answer, const std::string& listKey, size_t budget) {
    auto size = [](const json& value) { return value.dump(-1, ' ', false, json::error_handler_t::replace).size(); };
    size_t total = size(answer);
    if (total <= budget) return false;
    auto list = answer.find(listKey);
    if (list == answer.end() || !list->is_array()) return false;
    size_t entries = list->size();
    // Room for the note, whatever its numbers.
    constexpr size_t kNoteRoom = 200;
    size_t kept = entries;
    while (kept > 0 && total + kNoteRoom > budget) {
        --kept;
        total -= size((*list)[kept]) + (kept > 0 ? 1 : 0);  // the entry and its comma
    }
    list->erase(list->begin() + static_cast<std::ptrdiff_t>(kept), list->end());
    answer["note"] = std::to_string(entries - kept) + " of " + std::to_string(entries) + " " + listKey +
                     " left out: an answer is limited to " + std::to_string(budget / 1024) + " KB";
    return true;
}

}  // namespace velmor::outside_text
