#pragma once

#include "platform/linux/atspi_snapshot.h"

#include <vector>

namespace velmor::platform {

// Which of these children of one node a user can see, decided the way the application's
// toolkit tells it: by SHOWING where the toolkit keeps that state, and for GTK 4, which
// sets VISIBLE but never SHOWING below the window, by VISIBLE and a non-empty area inside
// the window. Closed menus, hidden pages and collapsed parts stay out either way. Answers
// in the order given.
std::vector<bool> shownOnScreen(AtspiConnection& atspi, AtspiSnapshot& snapshot, const std::vector<int>& children);

}  // namespace velmor::platform
