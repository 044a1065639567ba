#pragma once

namespace velmor::platform {

// What an element of an application's interface is. Each backend maps its toolkit's roles
// onto these; answers name them in the words agents read (see automation/role_names.h).
enum class ElementRole {
    unknown,
    application,
    window,
    group,
    button,
    menuButton,
    link,
    checkBox,
    radioButton,
    tabGroup,
    menuItem,
    menu,
    menuBar,
    popUpButton,
    comboBox,
    slider,
    textField,
    textArea,
    secureTextField,
    webArea,
    scrollArea,
    toolbar,
    splitGroup,
    statusBar,
    colorWell,
    dateField,
    staticText,
    heading,
    image,
    list,
    row,
    table,
    cell,
    outline,
    progressIndicator,
    levelIndicator,
    scrollBar,
    splitter,
    ruler,
    helpTag,
};

}  // namespace velmor::platform
