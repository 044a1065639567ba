#include "automation/characters.h"

namespace velmor::automation {

namespace {

constexpr char32_t kReplacement = 0xFFFD;
constexpr char32_t kZeroWidthJoiner = 0x200D;

std::u32string decode(std::string_view utf8) {
    std::u32string codePoints;
    size_t i = 0;
    while (i < utf8.size()) {
        auto byte = static_cast<unsigned char>(utf8[i]);
        int length = byte < 0x80 ? 1 : (byte >> 5) == 0x6 ? 2 : (byte >> 4) == 0xE ? 3 : (byte >> 3) == 0x1E ? 4 : 0;
        if (length == 0 || i + length > utf8.size()) {
            codePoints += kReplacement;
            ++i;
            continue;
        }
        char32_t value = length == 1 ? byte : byte & (0x7F >> length);
        bool valid = true;
        for (int k = 1; k < length; ++k) {
            auto next = static_cast<unsigned char>(utf8[i + k]);
            valid = valid && (next >> 6) == 0x2;
            value = (value << 6) | (next & 0x3F);
        }
        if (!valid) {
            codePoints += kReplacement;
            ++i;
            continue;
        }
        codePoints += value;
        i += length;
    }
    return codePoints;
}

bool inRange(char32_t c, char32_t low, char32_t high) { return c >= low && c <= high; }

// Code points that belong to the character before them.
bool extends(char32_t c) {
    return inRange(c, 0x0300, 0x036F) || inRange(c, 0x1AB0, 0x1AFF) || inRange(c, 0x1DC0, 0x1DFF) ||
           inRange(c, 0x20D0, 0x20FF) || inRange(c, 0xFE20, 0xFE2F) || inRange(c, 0xFE00, 0xFE0F) ||
           inRange(c, 0xE0100, 0xE01EF) || inRange(c, 0x1F3FB, 0x1F3FF) || inRange(c, 0xE0020, 0xE007F) ||
           c == kZeroWidthJoiner;
}

bool regionalIndicator(char32_t c) { return inRange(c, 0x1F1E6, 0x1F1FF); }

}  // namespace

std::vector<std::u32string> userCharacters(std::string_view utf8) {
    std::vector<std::u32string> characters;
    int indicatorsInCharacter = 0;
    for (char32_t c : decode(utf8)) {
        bool joins = false;
        if (!characters.empty()) {
            const std::u32string& last = characters.back();
            joins = extends(c) || last.back() == kZeroWidthJoiner || (last == U"\r" && c == U'\n') ||
                    (regionalIndicator(c) && indicatorsInCharacter == 1);
        }
        if (joins) {
            characters.back() += c;
        } else {
            characters.emplace_back(1, c);
            indicatorsInCharacter = 0;
        }
        if (regionalIndicator(c)) ++indicatorsInCharacter;
    }
    return characters;
}

}  // namespace velmor::automation
