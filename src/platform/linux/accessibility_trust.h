#pragma once

#include "platform/linux/atspi_bus.h"

namespace velmor::platform {

// Whether assistive access works for this process: the AT-SPI bus is reachable and the
// session's accessibility switch (org.a11y.Status.IsEnabled) is on.
bool accessibilityTrusted(AtspiBus& bus);

}  // namespace velmor::platform
