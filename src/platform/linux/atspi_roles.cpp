#include "platform/linux/atspi_roles.h"

#include <atspi/atspi-constants.h>

#include <unordered_map>

namespace velmor::platform {

namespace {

bool has(uint64_t states, AtspiStateType state) { return (states >> state) & 1u; }

// AT-SPI role -> element role. Roles that are not listed are unknown: the scanner still makes
// them click tools when they can be pressed and carry a label.
const std::unordered_map<uint32_t, ElementRole>& roleTable() {
    static const std::unordered_map<uint32_t, ElementRole> table = {
        {ATSPI_ROLE_PUSH_BUTTON, ElementRole::button},
        {ATSPI_ROLE_PUSH_BUTTON_MENU, ElementRole::menuButton},
        {ATSPI_ROLE_LINK, ElementRole::link},
        {ATSPI_ROLE_CHECK_BOX, ElementRole::checkBox},
        {ATSPI_ROLE_TOGGLE_BUTTON, ElementRole::checkBox},
        {ATSPI_ROLE_RADIO_BUTTON, ElementRole::radioButton},
        // A tab is one of its tab group's radio buttons: pressing it selects it.
        {ATSPI_ROLE_PAGE_TAB, ElementRole::radioButton},
        {ATSPI_ROLE_PAGE_TAB_LIST, ElementRole::tabGroup},
        {ATSPI_ROLE_MENU_ITEM, ElementRole::menuItem},
        {ATSPI_ROLE_CHECK_MENU_ITEM, ElementRole::menuItem},
        {ATSPI_ROLE_RADIO_MENU_ITEM, ElementRole::menuItem},
        {ATSPI_ROLE_TEAROFF_MENU_ITEM, ElementRole::menuItem},
        {ATSPI_ROLE_MENU, ElementRole::menu},
        {ATSPI_ROLE_POPUP_MENU, ElementRole::menu},
        {ATSPI_ROLE_MENU_BAR, ElementRole::menuBar},
        {ATSPI_ROLE_COMBO_BOX, ElementRole::popUpButton},
        {ATSPI_ROLE_AUTOCOMPLETE, ElementRole::comboBox},
        {ATSPI_ROLE_SLIDER, ElementRole::slider},
        {ATSPI_ROLE_DIAL, ElementRole::slider},
        {ATSPI_ROLE_TEXT, ElementRole::textField},
        {ATSPI_ROLE_ENTRY, ElementRole::textField},
        {ATSPI_ROLE_EDITBAR, ElementRole::textField},
        // A spin button is an entry holding a number: it is filled like one.
        {ATSPI_ROLE_SPIN_BUTTON, ElementRole::textField},
        {ATSPI_ROLE_PASSWORD_TEXT, ElementRole::secureTextField},
        {ATSPI_ROLE_TERMINAL, ElementRole::textArea},
        {ATSPI_ROLE_DOCUMENT_WEB, ElementRole::webArea},
        {ATSPI_ROLE_SCROLL_PANE, ElementRole::scrollArea},
        {ATSPI_ROLE_TOOL_BAR, ElementRole::toolbar},
        {ATSPI_ROLE_SPLIT_PANE, ElementRole::splitGroup},
        {ATSPI_ROLE_FRAME, ElementRole::window},
        {ATSPI_ROLE_WINDOW, ElementRole::window},
        {ATSPI_ROLE_DIALOG, ElementRole::window},
        {ATSPI_ROLE_ALERT, ElementRole::window},
        {ATSPI_ROLE_FILE_CHOOSER, ElementRole::window},
        {ATSPI_ROLE_PANEL, ElementRole::group},
        {ATSPI_ROLE_FILLER, ElementRole::group},
        {ATSPI_ROLE_GROUPING, ElementRole::group},
        {ATSPI_ROLE_SECTION, ElementRole::group},
        {ATSPI_ROLE_FORM, ElementRole::group},
        {ATSPI_ROLE_PARAGRAPH, ElementRole::group},
        {ATSPI_ROLE_ARTICLE, ElementRole::group},
        {ATSPI_ROLE_LANDMARK, ElementRole::group},
        {ATSPI_ROLE_BLOCK_QUOTE, ElementRole::group},
        {ATSPI_ROLE_HEADER, ElementRole::group},
        {ATSPI_ROLE_FOOTER, ElementRole::group},
        {ATSPI_ROLE_STATUS_BAR, ElementRole::statusBar},
        {ATSPI_ROLE_INFO_BAR, ElementRole::group},
        {ATSPI_ROLE_NOTIFICATION, ElementRole::group},
        {ATSPI_ROLE_VIEWPORT, ElementRole::group},
        {ATSPI_ROLE_ROOT_PANE, ElementRole::group},
        {ATSPI_ROLE_LAYERED_PANE, ElementRole::group},
        {ATSPI_ROLE_GLASS_PANE, ElementRole::group},
        {ATSPI_ROLE_INTERNAL_FRAME, ElementRole::group},
        {ATSPI_ROLE_OPTION_PANE, ElementRole::group},
        {ATSPI_ROLE_DOCUMENT_FRAME, ElementRole::group},
        {ATSPI_ROLE_EMBEDDED, ElementRole::group},
        {ATSPI_ROLE_DRAWING_AREA, ElementRole::group},
        {ATSPI_ROLE_CANVAS, ElementRole::group},
        {ATSPI_ROLE_CALENDAR, ElementRole::group},
        {ATSPI_ROLE_COLOR_CHOOSER, ElementRole::colorWell},
        {ATSPI_ROLE_DATE_EDITOR, ElementRole::dateField},
        {ATSPI_ROLE_LABEL, ElementRole::staticText},
        {ATSPI_ROLE_STATIC, ElementRole::staticText},
        {ATSPI_ROLE_CAPTION, ElementRole::staticText},
        {ATSPI_ROLE_ACCELERATOR_LABEL, ElementRole::staticText},
        {ATSPI_ROLE_HEADING, ElementRole::heading},
        {ATSPI_ROLE_IMAGE, ElementRole::image},
        {ATSPI_ROLE_ICON, ElementRole::image},
        {ATSPI_ROLE_ANIMATION, ElementRole::image},
        {ATSPI_ROLE_IMAGE_MAP, ElementRole::image},
        {ATSPI_ROLE_LIST, ElementRole::list},
        {ATSPI_ROLE_LIST_BOX, ElementRole::list},
        {ATSPI_ROLE_LIST_ITEM, ElementRole::row},
        {ATSPI_ROLE_TABLE, ElementRole::table},
        {ATSPI_ROLE_TABLE_ROW, ElementRole::row},
        {ATSPI_ROLE_TABLE_CELL, ElementRole::cell},
        {ATSPI_ROLE_COLUMN_HEADER, ElementRole::cell},
        {ATSPI_ROLE_ROW_HEADER, ElementRole::cell},
        {ATSPI_ROLE_TABLE_COLUMN_HEADER, ElementRole::cell},
        {ATSPI_ROLE_TABLE_ROW_HEADER, ElementRole::cell},
        {ATSPI_ROLE_TREE, ElementRole::outline},
        {ATSPI_ROLE_TREE_TABLE, ElementRole::outline},
        {ATSPI_ROLE_TREE_ITEM, ElementRole::row},
        {ATSPI_ROLE_PROGRESS_BAR, ElementRole::progressIndicator},
        {ATSPI_ROLE_LEVEL_BAR, ElementRole::levelIndicator},
        {ATSPI_ROLE_SCROLL_BAR, ElementRole::scrollBar},
        {ATSPI_ROLE_SEPARATOR, ElementRole::splitter},
        {ATSPI_ROLE_RULER, ElementRole::ruler},
        {ATSPI_ROLE_TOOL_TIP, ElementRole::helpTag},
        {ATSPI_ROLE_APPLICATION, ElementRole::application},
    };
    return table;
}

}  // namespace

uint32_t atspiInterfaceBit(const std::string& dbusInterface) {
    static const std::unordered_map<std::string, uint32_t> bits = {
        {"org.a11y.atspi.Action", kActionInterface},
        {"org.a11y.atspi.Component", kComponentInterface},
        {"org.a11y.atspi.EditableText", kEditableTextInterface},
        {"org.a11y.atspi.Selection", kSelectionInterface},
        {"org.a11y.atspi.Text", kTextInterface},
        {"org.a11y.atspi.Value", kValueInterface},
        {"org.a11y.atspi.Table", kTableInterface},
    };
    auto it = bits.find(dbusInterface);
    return it == bits.end() ? 0 : it->second;
}

RoleMapping roleOf(uint32_t atspiRole, uint64_t states, uint32_t interfaces) {
    const auto& table = roleTable();
    auto it = table.find(atspiRole);
    RoleMapping mapping{it == table.end() ? ElementRole::unknown : it->second};
    ElementRole& role = mapping.role;

    // Toolkits give one role to entries and text views alike; the lines tell them apart.
    if (role == ElementRole::textField && atspiRole != ATSPI_ROLE_SPIN_BUTTON && has(states, ATSPI_STATE_MULTI_LINE))
        role = ElementRole::textArea;
    if (atspiRole == ATSPI_ROLE_COMBO_BOX && (interfaces & kEditableTextInterface)) role = ElementRole::comboBox;

    bool textRole = role == ElementRole::textField || role == ElementRole::textArea ||
                    role == ElementRole::secureTextField || role == ElementRole::comboBox || role == ElementRole::statusBar;
    if (textRole && (interfaces & kTextInterface)) mapping.value = ValueSource::text;
    else if (interfaces & kValueInterface) mapping.value = ValueSource::number;
    else if (role == ElementRole::checkBox || atspiRole == ATSPI_ROLE_RADIO_BUTTON) mapping.value = ValueSource::checked;
    else if (atspiRole == ATSPI_ROLE_PAGE_TAB) mapping.value = ValueSource::selected;
    return mapping;
}

bool isPressAction(const std::string& name) {
    return name == "click" || name == "press" || name == "activate" || name == "toggle" || name == "jump";
}

}  // namespace velmor::platform
