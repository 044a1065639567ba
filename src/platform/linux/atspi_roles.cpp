#include "platform/linux/atspi_roles.h"

#include <atspi/atspi-constants.h>

#include <string_view>
#include <unordered_map>

namespace velmor::platform {

namespace {

bool has(uint64_t states, AtspiStateType state) { return (states >> state) & 1u; }

// AT-SPI role -> AX role. Roles that are not listed are AXUnknown: the scanner still makes
// them click tools when they can be pressed and carry a label.
const std::unordered_map<uint32_t, std::string_view>& roleTable() {
    static const std::unordered_map<uint32_t, std::string_view> table = {
        {ATSPI_ROLE_PUSH_BUTTON, "AXButton"},
        {ATSPI_ROLE_PUSH_BUTTON_MENU, "AXMenuButton"},
        {ATSPI_ROLE_LINK, "AXLink"},
        {ATSPI_ROLE_CHECK_BOX, "AXCheckBox"},
        {ATSPI_ROLE_TOGGLE_BUTTON, "AXCheckBox"},
        {ATSPI_ROLE_RADIO_BUTTON, "AXRadioButton"},
        // A tab is one of its tab group's radio buttons: pressing it selects it.
        {ATSPI_ROLE_PAGE_TAB, "AXRadioButton"},
        {ATSPI_ROLE_PAGE_TAB_LIST, "AXTabGroup"},
        {ATSPI_ROLE_MENU_ITEM, "AXMenuItem"},
        {ATSPI_ROLE_CHECK_MENU_ITEM, "AXMenuItem"},
        {ATSPI_ROLE_RADIO_MENU_ITEM, "AXMenuItem"},
        {ATSPI_ROLE_TEAROFF_MENU_ITEM, "AXMenuItem"},
        {ATSPI_ROLE_MENU, "AXMenu"},
        {ATSPI_ROLE_POPUP_MENU, "AXMenu"},
        {ATSPI_ROLE_MENU_BAR, "AXMenuBar"},
        {ATSPI_ROLE_COMBO_BOX, "AXPopUpButton"},
        {ATSPI_ROLE_AUTOCOMPLETE, "AXComboBox"},
        {ATSPI_ROLE_SLIDER, "AXSlider"},
        {ATSPI_ROLE_DIAL, "AXSlider"},
        {ATSPI_ROLE_TEXT, "AXTextField"},
        {ATSPI_ROLE_ENTRY, "AXTextField"},
        {ATSPI_ROLE_EDITBAR, "AXTextField"},
        // A spin button is an entry holding a number: it is filled like one.
        {ATSPI_ROLE_SPIN_BUTTON, "AXTextField"},
        {ATSPI_ROLE_PASSWORD_TEXT, "AXSecureTextField"},
        {ATSPI_ROLE_TERMINAL, "AXTextArea"},
        {ATSPI_ROLE_DOCUMENT_WEB, "AXWebArea"},
        {ATSPI_ROLE_SCROLL_PANE, "AXScrollArea"},
        {ATSPI_ROLE_TOOL_BAR, "AXToolbar"},
        {ATSPI_ROLE_SPLIT_PANE, "AXSplitGroup"},
        {ATSPI_ROLE_FRAME, "AXWindow"},
        {ATSPI_ROLE_WINDOW, "AXWindow"},
        {ATSPI_ROLE_DIALOG, "AXWindow"},
        {ATSPI_ROLE_ALERT, "AXWindow"},
        {ATSPI_ROLE_FILE_CHOOSER, "AXWindow"},
        {ATSPI_ROLE_PANEL, "AXGroup"},
        {ATSPI_ROLE_FILLER, "AXGroup"},
        {ATSPI_ROLE_GROUPING, "AXGroup"},
        {ATSPI_ROLE_SECTION, "AXGroup"},
        {ATSPI_ROLE_FORM, "AXGroup"},
        {ATSPI_ROLE_PARAGRAPH, "AXGroup"},
        {ATSPI_ROLE_ARTICLE, "AXGroup"},
        {ATSPI_ROLE_LANDMARK, "AXGroup"},
        {ATSPI_ROLE_BLOCK_QUOTE, "AXGroup"},
        {ATSPI_ROLE_HEADER, "AXGroup"},
        {ATSPI_ROLE_FOOTER, "AXGroup"},
        {ATSPI_ROLE_STATUS_BAR, "AXGroup"},
        {ATSPI_ROLE_INFO_BAR, "AXGroup"},
        {ATSPI_ROLE_NOTIFICATION, "AXGroup"},
        {ATSPI_ROLE_VIEWPORT, "AXGroup"},
        {ATSPI_ROLE_ROOT_PANE, "AXGroup"},
        {ATSPI_ROLE_LAYERED_PANE, "AXGroup"},
        {ATSPI_ROLE_GLASS_PANE, "AXGroup"},
        {ATSPI_ROLE_INTERNAL_FRAME, "AXGroup"},
        {ATSPI_ROLE_OPTION_PANE, "AXGroup"},
        {ATSPI_ROLE_DOCUMENT_FRAME, "AXGroup"},
        {ATSPI_ROLE_EMBEDDED, "AXGroup"},
        {ATSPI_ROLE_DRAWING_AREA, "AXGroup"},
        {ATSPI_ROLE_CANVAS, "AXGroup"},
        {ATSPI_ROLE_CALENDAR, "AXGroup"},
        {ATSPI_ROLE_COLOR_CHOOSER, "AXColorWell"},
        {ATSPI_ROLE_DATE_EDITOR, "AXDateField"},
        {ATSPI_ROLE_LABEL, "AXStaticText"},
        {ATSPI_ROLE_STATIC, "AXStaticText"},
        {ATSPI_ROLE_CAPTION, "AXStaticText"},
        {ATSPI_ROLE_ACCELERATOR_LABEL, "AXStaticText"},
        {ATSPI_ROLE_HEADING, "AXHeading"},
        {ATSPI_ROLE_IMAGE, "AXImage"},
        {ATSPI_ROLE_ICON, "AXImage"},
        {ATSPI_ROLE_ANIMATION, "AXImage"},
        {ATSPI_ROLE_IMAGE_MAP, "AXImage"},
        {ATSPI_ROLE_LIST, "AXList"},
        {ATSPI_ROLE_LIST_BOX, "AXList"},
        {ATSPI_ROLE_LIST_ITEM, "AXRow"},
        {ATSPI_ROLE_TABLE, "AXTable"},
        {ATSPI_ROLE_TABLE_ROW, "AXRow"},
        {ATSPI_ROLE_TABLE_CELL, "AXCell"},
        {ATSPI_ROLE_COLUMN_HEADER, "AXCell"},
        {ATSPI_ROLE_ROW_HEADER, "AXCell"},
        {ATSPI_ROLE_TABLE_COLUMN_HEADER, "AXCell"},
        {ATSPI_ROLE_TABLE_ROW_HEADER, "AXCell"},
        {ATSPI_ROLE_TREE, "AXOutline"},
        {ATSPI_ROLE_TREE_TABLE, "AXOutline"},
        {ATSPI_ROLE_TREE_ITEM, "AXRow"},
        {ATSPI_ROLE_PROGRESS_BAR, "AXProgressIndicator"},
        {ATSPI_ROLE_LEVEL_BAR, "AXLevelIndicator"},
        {ATSPI_ROLE_SCROLL_BAR, "AXScrollBar"},
        {ATSPI_ROLE_SEPARATOR, "AXSplitter"},
        {ATSPI_ROLE_RULER, "AXRuler"},
        {ATSPI_ROLE_TOOL_TIP, "AXHelpTag"},
        {ATSPI_ROLE_APPLICATION, "AXApplication"},
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

AxRoleMapping axRoleOf(uint32_t atspiRole, uint64_t states, uint32_t interfaces) {
    const auto& table = roleTable();
    auto it = table.find(atspiRole);
    AxRoleMapping mapping{std::string(it == table.end() ? "AXUnknown" : it->second)};
    std::string& role = mapping.role;

    // Toolkits give one role to entries and text views alike; the lines tell them apart.
    if (role == "AXTextField" && atspiRole != ATSPI_ROLE_SPIN_BUTTON && has(states, ATSPI_STATE_MULTI_LINE))
        role = "AXTextArea";
    if (atspiRole == ATSPI_ROLE_COMBO_BOX && (interfaces & kEditableTextInterface)) role = "AXComboBox";

    bool textRole = role == "AXTextField" || role == "AXTextArea" || role == "AXSecureTextField" || role == "AXComboBox";
    if (textRole && (interfaces & kTextInterface)) mapping.value = ValueSource::text;
    else if (interfaces & kValueInterface) mapping.value = ValueSource::number;
    else if (role == "AXCheckBox" || atspiRole == ATSPI_ROLE_RADIO_BUTTON) mapping.value = ValueSource::checked;
    else if (atspiRole == ATSPI_ROLE_PAGE_TAB) mapping.value = ValueSource::selected;
    return mapping;
}

bool isPressAction(const std::string& name) {
    return name == "click" || name == "press" || name == "activate" || name == "toggle" || name == "jump";
}

}  // namespace velmor::platform
