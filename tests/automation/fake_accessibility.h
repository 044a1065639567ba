#pragma once

#include "platform/accessibility.h"

#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace velmor::test {

// An element of an in-memory user interface, with every attribute set by hand.
struct FakeElement final : platform::AccessibleElement {
    platform::ElementRole roleValue = platform::ElementRole::unknown;
    std::optional<std::string> titleText, descriptionText, identifierText, valueText, placeholderText;
    bool isEnabled = true;
    bool pressable = false;
    bool isEditable = true;
    std::optional<int> row;  // set on the cells of a table that lists them itself
    std::vector<platform::ElementRef> kids;

    platform::ElementRole role() override { return roleValue; }
    std::optional<std::string> title() override { return titleText; }
    std::optional<std::string> description() override { return descriptionText; }
    std::optional<std::string> identifier() override { return identifierText; }
    std::optional<std::string> value() override { return valueText; }
    std::optional<std::string> currentValue() override { return valueText; }
    std::optional<std::string> placeholder() override { return placeholderText; }
    bool enabled() override { return isEnabled; }
    std::vector<platform::ElementRef> children() override { return kids; }
    std::optional<int> tableRow() override { return row; }
    bool editable() override { return isEditable; }
    bool offersPress() override { return pressable; }
    std::optional<platform::Frame> frameOnScreen() override { return std::nullopt; }
    bool focused() override { return false; }
    Result<void> press() override { return succeeded(); }
    Result<void> focus() override { return succeeded(); }
    Result<void> setValue(const platform::ElementValue&) override { return succeeded(); }
};

using Fake = std::shared_ptr<FakeElement>;

using Role = platform::ElementRole;

inline Fake element(Role role, std::optional<std::string> title = std::nullopt,
                    std::vector<platform::ElementRef> children = {}) {
    auto fake = std::make_shared<FakeElement>();
    fake->roleValue = role;
    fake->titleText = std::move(title);
    fake->kids = std::move(children);
    return fake;
}

// `element` wrapped in `levels` untitled groups: it then sits `levels` deeper.
inline platform::ElementRef nested(platform::ElementRef inner, int levels) {
    for (int i = 0; i < levels; ++i) inner = element(Role::group, std::nullopt, {inner});
    return inner;
}

// An application's windows and focus, handed to every scan.
struct FakeDesktop final : platform::Accessibility {
    bool running = true;
    platform::ElementRef focusedWindow;
    std::vector<platform::ElementRef> windows;
    platform::ElementRef focusedElement;

    struct Application final : platform::AccessibleApplication {
        explicit Application(const FakeDesktop& desktop) : desktop(desktop) {}
        platform::ElementRef focusedWindow() override { return desktop.focusedWindow; }
        std::vector<platform::ElementRef> windows() override { return desktop.windows; }
        platform::ElementRef focusedElement() override { return desktop.focusedElement; }
        const FakeDesktop& desktop;
    };

    std::unique_ptr<platform::AccessibleApplication> application(int32_t) override {
        if (!running) return nullptr;
        return std::make_unique<Application>(*this);
    }
    void prepare(int32_t) override {}
    // A fake interface changes only when the test changes it.
    void followChanges(int32_t) override {}
    void awaitSettled(int32_t, const std::function<void()>& read) override {
        if (read) read();
    }
};

}  // namespace velmor::test
