#pragma once

#include "platform/accessibility.h"
#include "platform/linux/atspi_bus.h"

namespace velmor::platform {

// Accessibility through AT-SPI: each application() call reads the application's tree afresh.
class AtspiAccessibility final : public Accessibility {
public:
    explicit AtspiAccessibility(AtspiBus& bus) : bus_(bus) {}

    std::unique_ptr<AccessibleApplication> application(int32_t pid) override;
    void prepare(int32_t pid) override;

private:
    AtspiBus& bus_;
};

}  // namespace velmor::platform
