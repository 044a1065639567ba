#include "automation_naive_walk.h"

#include <atspi/atspi.h>

#include <chrono>

namespace velmor::bench {

namespace {

void walk(AtspiAccessible* object, int& objects) {
    ++objects;
    GError* error = nullptr;
    atspi_accessible_get_role(object, &error);
    g_clear_error(&error);
    g_free(atspi_accessible_get_name(object, &error));
    g_clear_error(&error);
    g_free(atspi_accessible_get_description(object, &error));
    g_clear_error(&error);
    g_object_unref(atspi_accessible_get_state_set(object));
    int count = atspi_accessible_get_child_count(object, &error);
    g_clear_error(&error);
    for (int i = 0; i < count; ++i) {
        AtspiAccessible* child = atspi_accessible_get_child_at_index(object, i, &error);
        g_clear_error(&error);
        if (!child) continue;
        walk(child, objects);
        g_object_unref(child);
    }
}

}  // namespace

double naiveWalkMilliseconds(int32_t pid, int& objects) {
    atspi_init();
    AtspiAccessible* desktop = atspi_get_desktop(0);
    double milliseconds = -1;
    int count = atspi_accessible_get_child_count(desktop, nullptr);
    for (int i = 0; i < count && milliseconds < 0; ++i) {
        AtspiAccessible* application = atspi_accessible_get_child_at_index(desktop, i, nullptr);
        if (!application) continue;
        if (static_cast<int32_t>(atspi_accessible_get_process_id(application, nullptr)) == pid) {
            objects = 0;
            auto start = std::chrono::steady_clock::now();
            walk(application, objects);
            milliseconds = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
        }
        g_object_unref(application);
    }
    g_object_unref(desktop);
    return milliseconds;
}

}  // namespace velmor::bench
