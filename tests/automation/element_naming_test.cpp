// How scanned elements become element tools: verbs, labels, names, de-duplication and
// descriptions, over an in-memory window.
#include "automation/element_scanner.h"
#include "automation/role_names.h"
#include "fake_accessibility.h"

#include <gtest/gtest.h>

namespace velmor::automation {
namespace {

using test::element;
using Role = platform::ElementRole;
using test::Fake;
using Names = std::vector<std::string>;

class ElementTools : public ::testing::Test {
protected:
    std::vector<ScannedElement> tools(std::vector<platform::ElementRef> content) {
        desktop.focusedWindow = element(Role::window, "W", std::move(content));
        return ElementScanner(desktop, 7).scan().elements;
    }
    Names names(std::vector<platform::ElementRef> content) {
        Names result;
        for (const auto& tool : tools(std::move(content))) result.push_back(tool.toolName);
        return result;
    }
    std::string description(const Fake& element) { return tools({element}).at(0).description; }

    test::FakeDesktop desktop;
};

Fake withValue(Fake element, std::optional<std::string> value) {
    element->valueText = std::move(value);
    return element;
}

TEST_F(ElementTools, EqualNamesAreNumberedInTraversalOrderAndNeverRepeat) {
    EXPECT_EQ(names({element(Role::button, "OK"), element(Role::group, std::nullopt, {element(Role::button, "OK")}),
                     element(Role::button, "OK")}),
              (Names{"click_ok", "click_ok_2", "click_ok_3"}));
    // A label that meets a numbered name is numbered in turn.
    EXPECT_EQ(names({element(Role::button, "OK"), element(Role::button, "OK"), element(Role::button, "OK 2")}),
              (Names{"click_ok", "click_ok_2", "click_ok_2_2"}));
    EXPECT_EQ(names({element(Role::button, "OK 2"), element(Role::button, "OK"), element(Role::button, "OK")}),
              (Names{"click_ok_2", "click_ok", "click_ok_3"}));
    // Controls without a label are named after their role, numbered in order.
    EXPECT_EQ(names({element(Role::textArea, ""), element(Role::textField, ""), element(Role::textField, ""),
                     element(Role::secureTextField, ""), element(Role::button, ""), element(Role::popUpButton, ""),
                     element(Role::button, "")}),
              (Names{"fill_text_area", "fill_text_field", "fill_text_field_2", "fill_secure_text_field", "click_button",
                     "open_combo_box", "click_button_2"}));
    // Labels without Latin letters or digits keep their text for the description and take
    // the role's name; names are cut at forty.
    std::string sixty(60, 'a');
    auto scanned = tools({element(Role::button, "保存"), element(Role::button, "送信"), element(Role::button, sixty)});
    EXPECT_EQ(scanned[0].toolName, "click_button");
    EXPECT_EQ(scanned[0].description, "Click '保存' button");
    EXPECT_EQ(scanned[1].toolName, "click_button_2");
    EXPECT_EQ(scanned[2].toolName, "click_" + std::string(40, 'a'));
    EXPECT_EQ(scanned[2].description, "Click '" + sixty + "' button");
}

TEST_F(ElementTools, SymbolLabelsAreSpeltOutWhereTheSlugWouldBeEmptyOrALoneLetter) {
    EXPECT_EQ(names({element(Role::button, "="), element(Role::button, "+"), element(Role::button, "×"),
                     element(Role::button, "*"), element(Role::button, "÷"), element(Role::button, "/"),
                     element(Role::button, "%"), element(Role::button, "<-"), element(Role::button, "M+"),
                     element(Role::button, "M−"), element(Role::button, "+/-"), element(Role::button, "x²"),
                     element(Role::button, "−"), element(Role::button, "1/x"), element(Role::button, "C"),
                     element(Role::button, "Save As…"), element(Role::button, "+/−")}),
              (Names{"click_equals", "click_plus", "click_times", "click_times_2", "click_divide", "click_divide_2",
                     "click_percent", "click_back", "click_m_plus", "click_m_minus", "click_plus_minus",
                     "click_x_squared", "click_minus", "click_1_x", "click_c", "click_save_as",
                     "click_plus_minus_2"}));
    auto equals = tools({element(Role::button, "=")}).at(0);
    EXPECT_EQ(equals.title, "=") << "the label stays as it was";
    EXPECT_EQ(equals.description, "Click '=' button");
}

TEST_F(ElementTools, LabelFallsThroughTitleDescriptionPlaceholderIdentifier) {
    auto described = element(Role::textField, "");
    described->descriptionText = "Query";
    described->placeholderText = "ignored";
    auto placeholder = element(Role::textField);
    placeholder->descriptionText = "";
    placeholder->placeholderText = "Search";
    auto identified = element(Role::textField);
    identified->identifierText = "email-input";
    auto nothing = element(Role::textField, "");
    nothing->descriptionText = "";
    nothing->placeholderText = "";
    nothing->identifierText = "";
    auto titled = element(Role::textField, "Name");
    titled->descriptionText = "ignored";

    Names got;
    for (const auto& tool : tools({described, placeholder, identified, nothing, titled}))
        got.push_back(tool.toolName + "=" + tool.title);
    EXPECT_EQ(got, (Names{"fill_query=Query", "fill_search=Search", "fill_email_input=email-input",
                          "fill_text_field=text field", "fill_name=Name"}));
}

TEST_F(ElementTools, VerbsComeFromTheRoleTableOtherRolesNeedAnActionAndALabel) {
    auto disabled = element(Role::button, "a");
    disabled->isEnabled = false;
    auto scanned = tools({disabled, element(Role::menuButton, "b"), element(Role::link, "c"), element(Role::textField, "d"),
                          element(Role::textArea, "e"), element(Role::secureTextField, "f"), element(Role::checkBox, "g"),
                          element(Role::radioButton, "h"), element(Role::menuItem, "i"), element(Role::popUpButton, "j"),
                          element(Role::comboBox, "k"), element(Role::slider, "l")});
    Names got;
    for (const auto& tool : scanned) got.push_back(tool.toolPrefix + ":" + roleName(tool.role));
    EXPECT_EQ(got, (Names{"click:AXButton", "click:AXMenuButton", "click:AXLink", "fill:AXTextField",
                          "fill:AXTextArea", "fill:AXSecureTextField", "toggle:AXCheckBox", "select:AXRadioButton",
                          "select:AXMenuItem", "open:AXPopUpButton", "open:AXComboBox", "set:AXSlider"}));
    EXPECT_FALSE(scanned[0].enabled) << "disabled elements are tools too";

    auto pressableText = element(Role::staticText, "Status");
    pressableText->pressable = true;
    auto unlabelled = element(Role::image, "");
    unlabelled->pressable = true;
    auto tabs = element(Role::tabGroup, "Tabs", {element(Role::radioButton, "General")});
    tabs->pressable = true;
    scanned = tools({pressableText, element(Role::staticText, "Plain"), unlabelled,
                     element(Role::group, "Box", {element(Role::button, "Inside")}), tabs});
    ASSERT_EQ(scanned.size(), 3u);
    EXPECT_EQ(scanned[0].toolName, "click_status");
    EXPECT_EQ(scanned[0].description, "Click 'Status' statictext");
    EXPECT_EQ(scanned[1].toolName, "click_inside");
    EXPECT_EQ(scanned[2].toolName, "select_general");
}

TEST_F(ElementTools, DescriptionsByVerbCarryTheValueCutOnCharacterBoundaries) {
    std::string accented;
    for (int i = 0; i < 120; ++i) accented += "é";
    EXPECT_EQ(description(withValue(element(Role::textArea, "Notes"), accented)),
              "Fill 'Notes' text field. Current value: '" + accented.substr(0, 200) + "'");
    EXPECT_EQ(description(element(Role::textField, "Notes")), "Fill 'Notes' text field. Current value: ''");
    EXPECT_EQ(description(withValue(element(Role::checkBox, "Wrap"), "1")), "Toggle 'Wrap' checkbox. Currently: checked");
    for (const auto& value : {std::optional<std::string>("0"), std::optional<std::string>()})
        EXPECT_EQ(description(withValue(element(Role::checkBox, "Wrap"), value)),
                  "Toggle 'Wrap' checkbox. Currently: unchecked");
    EXPECT_EQ(description(element(Role::slider, "Volume")), "Set 'Volume' slider. Current value: unknown");
    EXPECT_EQ(description(withValue(element(Role::slider, "Volume"), "0.5")), "Set 'Volume' slider. Current value: 0.5");
    EXPECT_EQ(description(withValue(element(Role::popUpButton, "Fruit"), "Apple")),
              "Open 'Fruit' dropdown. Current value: 'Apple'");
    EXPECT_EQ(description(element(Role::popUpButton, "Fruit")), "Open 'Fruit' dropdown. Current value: ''");
    EXPECT_EQ(description(element(Role::menuItem, "Paste")), "Select 'Paste' menuitem");
    EXPECT_EQ(description(element(Role::link, "Help")), "Click 'Help' link");
}

}  // namespace
}  // namespace velmor::automation
