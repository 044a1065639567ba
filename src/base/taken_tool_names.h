#pragma once

#include <string>

namespace velmor {

// Whether a tool name already belongs to a tool that a call of that name reaches before the
// asker's. A family that ranks lower (page scans, page agents) asks before it offers a tool, so
// it never offers one a call could not reach. The application's tool registry answers; it may
// be asked from any thread, but never with a lock of the asker's held.
class TakenToolNames {
public:
    virtual ~TakenToolNames() = default;
    virtual bool isTaken(const std::string& name) const = 0;
};

}  // namespace velmor
