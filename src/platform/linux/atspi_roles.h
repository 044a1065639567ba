#pragma once

#include "platform/element_role.h"

#include <cstdint>
#include <string>

namespace velmor::platform {

// The AT-SPI interfaces of an object that the backend uses, as bits.
enum AtspiInterface : uint32_t {
    kActionInterface = 1u << 0,
    kComponentInterface = 1u << 1,
    kEditableTextInterface = 1u << 2,
    kSelectionInterface = 1u << 3,
    kTextInterface = 1u << 4,
    kValueInterface = 1u << 5,
    kTableInterface = 1u << 6,
};

// "org.a11y.atspi.Action" -> kActionInterface; 0 for the rest.
uint32_t atspiInterfaceBit(const std::string& dbusInterface);

// Where an object's value comes from.
enum class ValueSource {
    none,
    text,      // the Text interface's contents
    number,    // the Value interface's current value
    checked,   // "1"/"0" from the CHECKED state
    selected,  // "1"/"0" from the SELECTED state (tabs)
};

// Whether an action is one of those that count as pressing ("click", "press", "activate",
// "toggle", "jump"); the element's first one among them is what a press runs.
bool isPressAction(const std::string& name);

// What the scanner sees of an AT-SPI object: its role and where its value comes from.
struct RoleMapping {
    ElementRole role = ElementRole::unknown;
    ValueSource value = ValueSource::none;
};

// The one role table: an object's AT-SPI role, refined by its states and interfaces
// (single- or multi-line text, editable combo box), as the roles the scanner uses.
RoleMapping roleOf(uint32_t atspiRole, uint64_t states, uint32_t interfaces);

}  // namespace velmor::platform
