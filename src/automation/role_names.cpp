#include "automation/role_names.h"

namespace velmor::automation {

using platform::ElementRole;

std::string_view roleWords(ElementRole role) {
    switch (role) {
        case ElementRole::unknown: return "Unknown";
        case ElementRole::application: return "Application";
        case ElementRole::window: return "Window";
        case ElementRole::group: return "Group";
        case ElementRole::button: return "Button";
        case ElementRole::menuButton: return "MenuButton";
        case ElementRole::link: return "Link";
        case ElementRole::checkBox: return "CheckBox";
        case ElementRole::radioButton: return "RadioButton";
        case ElementRole::tabGroup: return "TabGroup";
        case ElementRole::menuItem: return "MenuItem";
        case ElementRole::menu: return "Menu";
        case ElementRole::menuBar: return "MenuBar";
        case ElementRole::popUpButton: return "PopUpButton";
        case ElementRole::comboBox: return "ComboBox";
        case ElementRole::slider: return "Slider";
        case ElementRole::textField: return "TextField";
        case ElementRole::textArea: return "TextArea";
        case ElementRole::secureTextField: return "SecureTextField";
        case ElementRole::webArea: return "WebArea";
        case ElementRole::scrollArea: return "ScrollArea";
        case ElementRole::toolbar: return "Toolbar";
        case ElementRole::splitGroup: return "SplitGroup";
        case ElementRole::statusBar: return "StatusBar";
        case ElementRole::colorWell: return "ColorWell";
        case ElementRole::dateField: return "DateField";
        case ElementRole::staticText: return "StaticText";
        case ElementRole::heading: return "Heading";
        case ElementRole::image: return "Image";
        case ElementRole::list: return "List";
        case ElementRole::row: return "Row";
        case ElementRole::table: return "Table";
        case ElementRole::cell: return "Cell";
        case ElementRole::outline: return "Outline";
        case ElementRole::progressIndicator: return "ProgressIndicator";
        case ElementRole::levelIndicator: return "LevelIndicator";
        case ElementRole::scrollBar: return "ScrollBar";
        case ElementRole::splitter: return "Splitter";
        case ElementRole::ruler: return "Ruler";
        case ElementRole::helpTag: return "HelpTag";
    }
    return "Unknown";
}

std::string roleName(ElementRole role) { return "AX" + std::string(roleWords(role)); }

}  // namespace velmor::automation
