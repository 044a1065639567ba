#include "base/key_combination.h"

#include "base/text.h"

namespace velmor {

KeyCombination keyCombination(const std::string& written) {
    KeyCombination combination;
    std::string lowered = lowerAscii(written);
    size_t start = 0;
    while (start <= lowered.size()) {
        size_t plus = lowered.find('+', start);
        if (plus == std::string::npos) plus = lowered.size();
        std::string piece = lowered.substr(start, plus - start);
        start = plus + 1;
        if (piece.empty()) continue;
        // Agents used to other desktops write cmd+s and option+x; what they mean here is
        // ctrl+s and alt+x.
        if (piece == "ctrl" || piece == "control" || piece == "cmd" || piece == "command") combination.control = true;
        else if (piece == "shift") combination.shift = true;
        else if (piece == "alt" || piece == "option") combination.alt = true;
        else combination.key = piece;
    }
    return combination;
}

}  // namespace velmor
