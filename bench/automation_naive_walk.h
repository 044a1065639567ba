#pragma once

#include <cstdint>

namespace velmor::bench {

// The baseline: a plain libatspi walk of an application's whole tree, one call per
// attribute (role, name, description, states, children) and no cache. Answers the time in
// milliseconds and the number of objects visited; a negative time when the application is
// not on the bus.
double naiveWalkMilliseconds(int32_t pid, int& objects);

}  // namespace velmor::bench
