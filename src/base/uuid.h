#pragma once

#include <string>

namespace velmor {

// A fresh random UUID (version 4) in its canonical lower-case text form.
std::string randomUuid();

}  // namespace velmor
