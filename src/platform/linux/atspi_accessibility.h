#pragma once

#include "platform/accessibility.h"
#include "platform/linux/atspi_bus.h"
#include "platform/linux/atspi_session_rules.h"

namespace velmor::platform {

// Accessibility through AT-SPI: each application() call reads the application's tree afresh.
class AtspiAccessibility final : public Accessibility {
public:
    explicit AtspiAccessibility(AtspiBus& bus, AtspiSessionRules rules = {}) : bus_(bus), rules_(std::move(rules)) {}

    std::unique_ptr<AccessibleApplication> application(int32_t pid) override;
    void prepare(int32_t pid) override;
    void followChanges(int32_t pid) override;
    void awaitSettled(int32_t pid, const std::function<void()>& read) override;

private:
    AtspiBus& bus_;
    const AtspiSessionRules rules_;
};

}  // namespace velmor::platform
