#pragma once

#include <string_view>

namespace velmor {

// Whether two secrets are equal, looking at every byte whatever the content, so the time
// taken says nothing about how much of a guess was right. Texts of different lengths are
// unequal at once (the length of a secret is no secret).
bool equalInConstantTime(std::string_view a, std::string_view b);

}  // namespace velmor
