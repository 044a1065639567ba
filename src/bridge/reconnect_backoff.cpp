#include "bridge/reconnect_backoff.h"

#include <algorithm>
#include <cmath>

namespace velmor::bridge {

namespace {

constexpr double kInitialSeconds = 1.0;
constexpr double kLongestSeconds = 30.0;
constexpr double kLargestJitterSeconds = 0.5;

}  // namespace

ReconnectBackoff::ReconnectBackoff() : random_(std::random_device{}()) {}

std::chrono::milliseconds ReconnectBackoff::nextDelay() {
    // nextafter makes the upper end reachable: the jitter lies in the closed interval.
    std::uniform_real_distribution<double> jitter(0.0, std::nextafter(kLargestJitterSeconds, 1.0));
    double seconds = baseSeconds_ + jitter(random_);
    baseSeconds_ = std::min(baseSeconds_ * 2, kLongestSeconds);
    return std::chrono::milliseconds(static_cast<long long>(seconds * 1000));
}

void ReconnectBackoff::reset() { baseSeconds_ = kInitialSeconds; }

}  // namespace velmor::bridge
