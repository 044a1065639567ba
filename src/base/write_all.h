#pragma once

#include <string_view>

namespace velmor {

// Writes all bytes to the descriptor, retrying after partial writes and interruptions.
// False when the descriptor refused them (a reader that went away, a full disk); what was
// written by then stays written.
bool writeAll(int fd, std::string_view bytes);

}  // namespace velmor
