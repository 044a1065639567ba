// The scanner's walk over an in-memory window: which window, how deep, where web content
// is, how many elements, and the breadcrumb.
#include "automation/element_scanner.h"
#include "fake_accessibility.h"

#include <gtest/gtest.h>

namespace velmor::automation {
namespace {

using test::element;
using Role = platform::ElementRole;
using test::nested;
using Names = std::vector<std::string>;

Names toolNames(const ScanResult& scan) {
    Names names;
    for (const auto& tool : scan.elements) names.push_back(tool.toolName);
    return names;
}

class Scanner : public ::testing::Test {
protected:
    ScanResult scan(platform::ElementRef window) {
        desktop.focusedWindow = std::move(window);
        return ElementScanner(desktop, 4242).scan();
    }

    test::FakeDesktop desktop;
};

TEST_F(Scanner, ReadsEveryWindowTitledByTheFocusedElseTheFirstAndSaysWhenThereIsNone) {
    desktop.focusedElement = element(Role::button, "Stray");
    for (bool running : {false, true}) {
        desktop.running = running;
        ScanResult result = ElementScanner(desktop, 4242).scan();
        EXPECT_EQ(result.windowTitle, "(no windows)");
        EXPECT_EQ(result.hierarchySummary, "No windows found");
        EXPECT_FALSE(result.focusedElement);
        EXPECT_TRUE(result.elements.empty());
    }

    // A dialog's controls are offered beside the main window's; a name the main window has
    // already taken gets the dialog's title, so the main window's names stay as they were.
    // Names repeated within the dialog alone are numbered as in any window.
    desktop.windows = {element(Role::window, "Editor", {element(Role::toolbar, "Main", {element(Role::button, "OK")}),
                                                      element(Role::button, "Save")}),
                       element(Role::window, "Save File", {element(Role::group, "Places", {element(Role::button, "OK")}),
                                                         element(Role::button, "OK"), element(Role::button, "Cancel"),
                                                         element(Role::button, "Home"), element(Role::button, "Home")})};
    ScanResult first = ElementScanner(desktop, 4242).scan();
    EXPECT_EQ(first.windowTitle, "Editor");
    const Names both{"click_ok",     "click_save",  "click_ok_save_file", "click_ok_save_file_2",
                     "click_cancel", "click_home", "click_home_2"};
    EXPECT_EQ(toolNames(first), both);
    EXPECT_EQ(first.hierarchySummary, "Window 'Editor' > Toolbar 'Main'");
    ScanResult focused = scan(desktop.windows[1]);
    EXPECT_EQ(focused.windowTitle, "Save File");
    EXPECT_EQ(toolNames(focused), both);
    EXPECT_EQ(focused.hierarchySummary, "Window 'Save File' > Group 'Places'");

    // A window without a title is untitled, but an empty title stays empty.
    ScanResult untitled = scan(element(Role::window));
    EXPECT_EQ(untitled.windowTitle, "(untitled)");
    EXPECT_EQ(untitled.hierarchySummary, "Window '(untitled)'");
    EXPECT_EQ(scan(element(Role::window, "")).windowTitle, "");

    // The focused element falls back to its description only when it has no title.
    auto field = element(Role::textField);
    field->descriptionText = "Query";
    desktop.focusedElement = field;
    EXPECT_EQ(scan(element(Role::window, "W")).focusedElement, "AXTextField: Query");
    field->titleText = "";
    EXPECT_EQ(scan(element(Role::window, "W")).focusedElement, "AXTextField: ");
}

TEST_F(Scanner, NativeAndWebWalksStopAtTheirDepths) {
    EXPECT_EQ(toolNames(scan(element(Role::window, "W", {nested(element(Role::button, "Depth 19"), 18),
                                                       nested(element(Role::button, "Depth 20"), 19)}))),
              Names{"click_depth_19"});

    // Once a web area is found, the native walk goes to depth ten only.
    ScanResult withWeb = scan(element(Role::window, "W",
                                      {element(Role::webArea, std::nullopt, {element(Role::link, "Docs")}),
                                       nested(element(Role::button, "Depth 9"), 8), nested(element(Role::button, "Depth 10"), 9)}));
    EXPECT_EQ(toolNames(withWeb), (Names{"click_depth_9", "click_docs"}));
    EXPECT_EQ(withWeb.hierarchySummary, "Window 'W' > WebArea > Link 'Docs'");

    auto web = element(Role::webArea, std::nullopt,
                       {nested(element(Role::link, "Depth 24"), 23), nested(element(Role::link, "Depth 25"), 24)});
    EXPECT_EQ(toolNames(scan(element(Role::window, "W", {web}))), Names{"click_depth_24"});

    auto scrollArea = [] {
        return element(Role::scrollArea, std::nullopt,
                       {element(Role::button, "Before"), element(Role::webArea, std::nullopt, {element(Role::link, "Page")}),
                        element(Role::button, "After")});
    };
    // Beyond depth 5 a scroll area is searched for web content and left at once.
    EXPECT_EQ(toolNames(scan(element(Role::window, "W", {nested(scrollArea(), 5)}))), Names{"click_page"});
    // Higher up it is an ordinary container and the web area is met on the way.
    EXPECT_EQ(toolNames(scan(element(Role::window, "W", {nested(scrollArea(), 1)}))),
              (Names{"click_before", "click_after", "click_page"}));
}

TEST_F(Scanner, WebContentCapsTheWholeScanAtFiveHundredElements) {
    std::vector<platform::ElementRef> content, links, buttons;
    for (int i = 0; i < 10; ++i) content.push_back(element(Role::button, "Native " + std::to_string(i)));
    for (int i = 0; i < 600; ++i) links.push_back(element(Role::link, "Link " + std::to_string(i)));
    for (int i = 0; i < 600; ++i) buttons.push_back(element(Role::button, "B" + std::to_string(i)));
    content.push_back(element(Role::webArea, std::nullopt, links));
    ScanResult result = scan(element(Role::window, "W", content));
    ASSERT_EQ(result.elements.size(), 500u);
    EXPECT_EQ(result.elements[9].toolName, "click_native_9");
    EXPECT_EQ(result.elements[499].toolName, "click_link_489");

    // Native windows are not capped.
    ScanResult native = scan(element(Role::window, "W", buttons));
    EXPECT_EQ(native.elements.size(), 600u);
    EXPECT_FALSE(native.partial);
}

TEST_F(Scanner, AWindowLargerThanTheBudgetAnswersWhatWasReadAndSaysItIsPartial) {
    std::vector<platform::ElementRef> buttons;
    for (int i = 0; i < 20000; ++i) buttons.push_back(element(Role::button, "B" + std::to_string(i)));
    ScanResult result = scan(element(Role::window, "Many", buttons));
    ASSERT_TRUE(result.partial);
    EXPECT_LT(result.elements.size(), 20000u);
    EXPECT_FALSE(result.elements.empty());
    EXPECT_EQ(result.elements.front().toolName, "click_b0");
    EXPECT_NE(result.partial->find("partial: read " + std::to_string(result.elements.size() + 1) + " objects"),
              std::string::npos)
        << *result.partial;
}

TEST_F(Scanner, BreadcrumbHoldsTitledContainersNearTheTopAndAtMostTwentyParts) {
    // Native containers above depth four.
    auto window = element(Role::window, "Mail",
        {element(Role::toolbar, "Formatting",
                 {element(Role::group, "Inner", {element(Role::splitGroup, "Split", {element(Role::group, "Too deep")})})}),
         element(Role::list, "Messages"), element(Role::group), element(Role::tabGroup, "Tabs")});
    EXPECT_EQ(scan(window).hierarchySummary,
              "Window 'Mail' > Toolbar 'Formatting' > Group 'Inner' > SplitGroup 'Split' > TabGroup 'Tabs'");

    // Web elements above depth three, cut to thirty characters.
    auto web = element(Role::webArea, "Page", {element(Role::heading, std::string(40, 'h'),
                                                     {element(Role::group, "Two", {element(Role::group, "Three")})})});
    EXPECT_EQ(scan(element(Role::window, "W", {web})).hierarchySummary,
              "Window 'W' > WebArea > WebArea 'Page' > Heading '" + std::string(30, 'h') + "' > Group 'Two'");

    std::vector<platform::ElementRef> groups;
    for (int i = 0; i < 30; ++i) groups.push_back(element(Role::group, "G" + std::to_string(i)));
    std::string summary = scan(element(Role::window, "W", groups)).hierarchySummary;
    size_t separators = 0;
    for (size_t at = summary.find(" > "); at != std::string::npos; at = summary.find(" > ", at + 1)) ++separators;
    EXPECT_EQ(separators, 19u);
    EXPECT_TRUE(summary.ends_with("Group 'G18'"));
}

// A table that lists its cells row after row: each row one tool, named by its first named
// cell and described by all its cells' texts (a column drawn twice reads once), the row's
// check box a tool of its own named after the row; what status bars and read-only fields
// show is kept with the labels' texts, what the user types is not.
TEST_F(Scanner, TableRowsAreOneToolEachAndStatusTextsAreShown) {
    auto cell = [](std::optional<std::string> title, std::optional<int> row, bool pressable = true,
                   std::vector<platform::ElementRef> inner = {}) {
        auto fake = element(Role::cell, std::move(title), std::move(inner));
        fake->row = row;
        fake->pressable = pressable;
        return fake;
    };
    auto checkBox = [](int row) {
        auto box = element(Role::checkBox);
        box->row = row;
        box->valueText = "0";
        return box;
    };
    std::vector<platform::ElementRef> cells = {cell("Name", std::nullopt)};
    for (int row = 0; row < 2; ++row) {
        std::string name = row == 0 ? "a.txt" : "b.txt";
        cells.push_back(cell("", row, true, {cell("", std::nullopt), cell(name, std::nullopt)}));
        cells.push_back(cell("1 kB", row));
        cells.push_back(cell("10:00", row));
        cells.push_back(cell("10:00", row));
        cells.push_back(checkBox(row));
    }
    auto status = element(Role::statusBar, "2 files");
    auto result = element(Role::textField, "Result");
    result->isEditable = false;
    result->valueText = "42";
    auto typed = element(Role::textField, "Notes");
    typed->valueText = "draft";
    ScanResult scanned = scan(element(Role::window, "Files", {element(Role::table, "Files", cells), status, result, typed}));

    EXPECT_EQ(toolNames(scanned),
              Names({"click_name", "click_a_txt", "toggle_a_txt", "click_b_txt", "toggle_b_txt", "fill_result", "fill_notes"}));
    const ScannedElement& row = scanned.elements[1];
    EXPECT_EQ(row.role, Role::row);
    EXPECT_EQ(row.title, "a.txt");
    EXPECT_EQ(row.description, "Select the row 'a.txt': a.txt | 1 kB | 10:00");
    EXPECT_EQ(scanned.elements[2].title, "a.txt");
    EXPECT_EQ(scanned.shownTexts, Names({"2 files", "42"}));
}

}  // namespace
}  // namespace velmor::automation
