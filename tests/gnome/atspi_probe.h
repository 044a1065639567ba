#pragma once

#include <cstdint>
#include <functional>
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
    // The names of the objects of the process's accessible tree that are selected (rows of
    // lists and tables, tabs).
    std::vector<std::string> selectedOf(int32_t pid);
    // Does the first action of every object of the process's tree named `name` (a button's
    // press, a row's activation), as a user's click would; whether one took it.
    bool press(int32_t pid, const std::string& name);
    // Presses every object named `name` that is not checked yet (check boxes, switches); whether
    // one took it.
    bool check(int32_t pid, const std::string& name);
    // Selects the first child of every list of the process's tree named `name`; whether one
    // took it.
    bool selectFirstIn(int32_t pid, const std::string& name);

private:
    std::string busNameOf(int32_t pid);
    // Calls `visit` with the path of every object of the application's tree, breadth first,
    // at most a few thousand.
    void walk(const std::string& busName, const std::function<void(const std::string&)>& visit);
    std::string nameOf(const std::string& busName, const std::string& path);
    // Calls `method` of `interface` with the argument 0 on every object of the process's tree
    // named `name`; whether one answered.
    bool onEachNamed(int32_t pid, const std::string& name, const char* interface, const char* method,
                     bool uncheckedOnly = false);
    DBusConnection* bus_ = nullptr;
};

}  // namespace velmor::test
