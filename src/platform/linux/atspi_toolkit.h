#pragma once

#include <dbus/dbus.h>

#include <cstdint>
#include <string>
#include <string_view>

namespace velmor::platform {

// The toolkits whose accessibility differs from what the scanner expects.
enum class AtspiToolkit {
    gtk4,   // VISIBLE but never SHOWING below the window; SENSITIVE without ENABLED; names
            // that repeat the label or fall back to the widget's type name
    qt,     // no bulk cache read, no accessible ids, action names no press action matches
    gtk3,   // SHOWING and names as AT-SPI means them
    other,  // the rest, as GTK 3
};

// The toolkit of the application at `busName`, from its application object. Called with
// the bus lock held; AtspiBus::toolkitOf keeps the answer for the application's life.
AtspiToolkit readToolkit(DBusConnection* bus, const std::string& busName);

// The end offset that asks Text.GetText for the whole text: -1, as AT-SPI has it, but for
// GTK 4, whose entries answer -1 with no text at all and take the largest offset instead.
int32_t wholeTextEnd(AtspiToolkit toolkit);

// Whether a GTK 4 name is only the widget's type ("GtkButton", "AdwLeaflet"), which GTK 4
// gives when nothing labels the widget.
bool isWidgetTypeName(std::string_view name);

}  // namespace velmor::platform
