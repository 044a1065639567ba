#include "bench_stats.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>

namespace velmor::bench {

std::string summarise(const std::string& name, std::vector<double> ms) {
    if (ms.empty()) return name + ": no samples";
    std::sort(ms.begin(), ms.end());
    auto at = [&](double q) { return ms[std::min(ms.size() - 1, static_cast<size_t>(q * ms.size()))]; };
    char text[256];
    std::snprintf(text, sizeof text, "%s: median %.3f ms, p95 %.3f ms, min %.3f ms (%zu samples)", name.c_str(),
                  at(0.5), at(0.95), ms.front(), ms.size());
    return text;
}

double median(std::vector<double> ms) {
    if (ms.empty()) return 0;
    std::nth_element(ms.begin(), ms.begin() + ms.size() / 2, ms.end());
    return ms[ms.size() / 2];
}

double millisecondsSince(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
}

bool onTheVirtualDesktop() {
    const char* display = std::getenv("DISPLAY");
    if (display && *display) return true;
    std::fputs("needs the virtual desktop: scripts/desktop-stack-up.sh <dir> && . <dir>/env.sh\n", stderr);
    return false;
}

}  // namespace velmor::bench
