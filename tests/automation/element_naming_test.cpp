// How scanned elements become element tools: verbs, labels, names, de-duplication and
// descriptions, over an in-memory window.
#include "automation/ax_scanner.h"
#include "fake_accessibility.h"

#include <gtest/gtest.h>

namespace velmor::automation {
namespace {

using test::element;
using test::Fake;
using Names = std::vector<std::string>;

class ElementTools : public ::testing::Test {
protected:
    std::vector<AXElement> tools(std::vector<platform::ElementRef> content) {
        desktop.focusedWindow = element("AXWindow", "W", std::move(content));
        return AXScanner(desktop, 7).scan().elements;
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
    EXPECT_EQ(names({element("AXButton", "OK"), element("AXGroup", std::nullopt, {element("AXButton", "OK")}),
                     element("AXButton", "OK")}),
              (Names{"click_ok", "click_ok_2", "click_ok_3"}));
    // A label that meets a numbered name is numbered in turn.
    EXPECT_EQ(names({element("AXButton", "OK"), element("AXButton", "OK"), element("AXButton", "OK 2")}),
              (Names{"click_ok", "click_ok_2", "click_ok_2_2"}));
    EXPECT_EQ(names({element("AXButton", "OK 2"), element("AXButton", "OK"), element("AXButton", "OK")}),
              (Names{"click_ok_2", "click_ok", "click_ok_3"}));
    // Controls without a label are named after their role, numbered in order.
    EXPECT_EQ(names({element("AXTextArea", ""), element("AXTextField", ""), element("AXTextField", ""),
                     element("AXSecureTextField", ""), element("AXButton", ""), element("AXPopUpButton", ""),
                     element("AXButton", "")}),
              (Names{"fill_text_area", "fill_text_field", "fill_text_field_2", "fill_secure_text_field", "click_button",
                     "open_combo_box", "click_button_2"}));
    // Labels without Latin letters or digits keep their text for the description and take
    // the role's name; names are cut at forty.
    std::string sixty(60, 'a');
    auto scanned = tools({element("AXButton", "保存"), element("AXButton", "送信"), element("AXButton", sixty)});
    EXPECT_EQ(scanned[0].toolName, "click_button");
    EXPECT_EQ(scanned[0].description, "Click '保存' button");
    EXPECT_EQ(scanned[1].toolName, "click_button_2");
    EXPECT_EQ(scanned[2].toolName, "click_" + std::string(40, 'a'));
    EXPECT_EQ(scanned[2].description, "Click '" + sixty + "' button");
}

TEST_F(ElementTools, SymbolLabelsAreSpeltOutWhereTheSlugWouldBeEmptyOrALoneLetter) {
    EXPECT_EQ(names({element("AXButton", "="), element("AXButton", "+"), element("AXButton", "×"),
                     element("AXButton", "*"), element("AXButton", "÷"), element("AXButton", "/"),
                     element("AXButton", "%"), element("AXButton", "<-"), element("AXButton", "M+"),
                     element("AXButton", "M−"), element("AXButton", "+/-"), element("AXButton", "x²"),
                     element("AXButton", "−"), element("AXButton", "1/x"), element("AXButton", "C"),
                     element("AXButton", "Save As…"), element("AXButton", "+/−")}),
              (Names{"click_equals", "click_plus", "click_times", "click_times_2", "click_divide", "click_divide_2",
                     "click_percent", "click_back", "click_m_plus", "click_m_minus", "click_plus_minus",
                     "click_x_squared", "click_minus", "click_1_x", "click_c", "click_save_as",
                     "click_plus_minus_2"}));
    auto equals = tools({element("AXButton", "=")}).at(0);
    EXPECT_EQ(equals.title, "=") << "the label stays as it was";
    EXPECT_EQ(equals.description, "Click '=' button");
}

TEST_F(ElementTools, LabelFallsThroughTitleDescriptionPlaceholderIdentifier) {
    auto described = element("AXTextField", "");
    described->descriptionText = "Query";
    described->placeholderText = "ignored";
    auto placeholder = element("AXTextField");
    placeholder->descriptionText = "";
    placeholder->placeholderText = "Search";
    auto identified = element("AXTextField");
    identified->identifierText = "email-input";
    auto nothing = element("AXTextField", "");
    nothing->descriptionText = "";
    nothing->placeholderText = "";
    nothing->identifierText = "";
    auto titled = element("AXTextField", "Name");
    titled->descriptionText = "ignored";

    Names got;
    for (const auto& tool : tools({described, placeholder, identified, nothing, titled}))
        got.push_back(tool.toolName + "=" + tool.title);
    EXPECT_EQ(got, (Names{"fill_query=Query", "fill_search=Search", "fill_email_input=email-input",
                          "fill_text_field=text field", "fill_name=Name"}));
}

TEST_F(ElementTools, VerbsComeFromTheRoleTableOtherRolesNeedAnActionAndALabel) {
    auto disabled = element("AXButton", "a");
    disabled->isEnabled = false;
    auto scanned = tools({disabled, element("AXMenuButton", "b"), element("AXLink", "c"), element("AXTextField", "d"),
                          element("AXTextArea", "e"), element("AXSecureTextField", "f"), element("AXCheckBox", "g"),
                          element("AXRadioButton", "h"), element("AXMenuItem", "i"), element("AXPopUpButton", "j"),
                          element("AXComboBox", "k"), element("AXSlider", "l")});
    Names got;
    for (const auto& tool : scanned) got.push_back(tool.toolPrefix + ":" + tool.role);
    EXPECT_EQ(got, (Names{"click:AXButton", "click:AXMenuButton", "click:AXLink", "fill:AXTextField",
                          "fill:AXTextArea", "fill:AXSecureTextField", "toggle:AXCheckBox", "select:AXRadioButton",
                          "select:AXMenuItem", "open:AXPopUpButton", "open:AXComboBox", "set:AXSlider"}));
    EXPECT_FALSE(scanned[0].enabled) << "disabled elements are tools too";

    auto pressableText = element("AXStaticText", "Status");
    pressableText->pressable = true;
    auto unlabelled = element("AXImage", "");
    unlabelled->pressable = true;
    auto tabs = element("AXTabGroup", "Tabs", {element("AXRadioButton", "General")});
    tabs->pressable = true;
    scanned = tools({pressableText, element("AXStaticText", "Plain"), unlabelled,
                     element("AXGroup", "Box", {element("AXButton", "Inside")}), tabs});
    ASSERT_EQ(scanned.size(), 3u);
    EXPECT_EQ(scanned[0].toolName, "click_status");
    EXPECT_EQ(scanned[0].description, "Click 'Status' statictext");
    EXPECT_EQ(scanned[1].toolName, "click_inside");
    EXPECT_EQ(scanned[2].toolName, "select_general");
}

TEST_F(ElementTools, DescriptionsByVerbCarryTheValueCutOnCharacterBoundaries) {
    std::string accented;
    for (int i = 0; i < 120; ++i) accented += "é";
    EXPECT_EQ(description(withValue(element("AXTextArea", "Notes"), accented)),
              "Fill 'Notes' text field. Current value: '" + accented.substr(0, 200) + "'");
    EXPECT_EQ(description(element("AXTextField", "Notes")), "Fill 'Notes' text field. Current value: ''");
    EXPECT_EQ(description(withValue(element("AXCheckBox", "Wrap"), "1")), "Toggle 'Wrap' checkbox. Currently: checked");
    for (const auto& value : {std::optional<std::string>("0"), std::optional<std::string>()})
        EXPECT_EQ(description(withValue(element("AXCheckBox", "Wrap"), value)),
                  "Toggle 'Wrap' checkbox. Currently: unchecked");
    EXPECT_EQ(description(element("AXSlider", "Volume")), "Set 'Volume' slider. Current value: unknown");
    EXPECT_EQ(description(withValue(element("AXSlider", "Volume"), "0.5")), "Set 'Volume' slider. Current value: 0.5");
    EXPECT_EQ(description(withValue(element("AXPopUpButton", "Fruit"), "Apple")),
              "Open 'Fruit' dropdown. Current value: 'Apple'");
    EXPECT_EQ(description(element("AXPopUpButton", "Fruit")), "Open 'Fruit' dropdown. Current value: ''");
    EXPECT_EQ(description(element("AXMenuItem", "Paste")), "Select 'Paste' menuitem");
    EXPECT_EQ(description(element("AXLink", "Help")), "Click 'Help' link");
}

}  // namespace
}  // namespace velmor::automation
