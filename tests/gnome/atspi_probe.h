#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct DBusConnection;

namespace velmor::test {

// Reads applications through the accessibility bus with a D-Bus connection of the test's
// own, so what Velmor did is checked by other code than Velmor's.
class AtspiProbe {
public:
    AtspiProbe();
    ~AtspiProbe();
    AtspiProbe(const AtspiProbe&) = delete;
    AtspiProbe& operator=(const AtspiProbe&) = delete;

    bool connected() const { return bus_ != nullptr; }
    // The names and texts of every object of the process's accessible tree (at most a few
    // thousand objects).
    std::vector<std::string> textsOf(int32_t pid);
    // Whether one of the process's top-level windows is marked active (has the focus).
    bool windowActive(int32_t pid);

private:
    std::string busNameOf(int32_t pid);
    DBusConnection* bus_ = nullptr;
};

}  // namespace velmor::test
