#pragma once

#include <chrono>
#include <string>
#include <vector>

namespace velmor::bench {

// "name: median X ms, p95 Y ms, min Z ms (n samples)" for durations in milliseconds.
std::string summarise(const std::string& name, std::vector<double> milliseconds);

// The middle sample (the upper one of an even count); 0 without samples.
double median(std::vector<double> milliseconds);

// Milliseconds since `start` on the steady clock.
double millisecondsSince(std::chrono::steady_clock::time_point start);

// Whether a display is there to measure on; says how to start the virtual desktop when not.
bool onTheVirtualDesktop();

}  // namespace velmor::bench
