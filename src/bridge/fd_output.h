#pragma once

#include <string_view>

namespace velmor::bridge {

// Writes all bytes to the descriptor, retrying after partial writes and interruptions.
// Gives up silently when the reader has gone away: there is nobody left to tell.
void writeFully(int fd, std::string_view bytes);

}  // namespace velmor::bridge
