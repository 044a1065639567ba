// Widget texts as toolkits put them on the accessibility bus, read as the user sees them:
// mnemonic markers and markup that must go, and texts that only look like them and must stay.
#include "platform/linux/widget_text.h"

#include <gtest/gtest.h>

namespace velmor::platform {
namespace {

TEST(WidgetText, TheOneMnemonicMarkerGoesLiteralMarkersStay) {
    // GTK's underscore and Qt's ampersand at a word's start, before a digit or a non-ASCII letter.
    EXPECT_EQ(withoutMnemonic("_Add Alarm", '_'), "Add Alarm");
    EXPECT_EQ(withoutMnemonic("&File", '&'), "File");
    EXPECT_EQ(withoutMnemonic("Save &As", '&'), "Save As");
    EXPECT_EQ(withoutMnemonic("Level _2", '_'), "Level 2");
    EXPECT_EQ(withoutMnemonic("_Éditer", '_'), "Éditer");
    // Doubled markers are the character; beside them a real mnemonic still goes.
    EXPECT_EQ(withoutMnemonic("R&&D", '&'), "R&D");
    EXPECT_EQ(withoutMnemonic("Save && _Quit", '_'), "Save && Quit");
    EXPECT_EQ(withoutMnemonic("my__file", '_'), "my_file");
    EXPECT_EQ(withoutMnemonic("R&&D &Budget", '&'), "R&D Budget");
    // The raw text joined to the read one is the read one, whatever the marker's place.
    EXPECT_EQ(withoutMnemonic("Add A_larm Add Alarm", '_'), "Add Alarm");
    EXPECT_EQ(withoutMnemonic("E&xit Exit", '&'), "Exit");
    EXPECT_EQ(withoutMnemonic("Add A_larm Add Alert", '_'), "Add A_larm Add Alert");
    // Texts a toolkit already read: markers that need not be mnemonics are left alone.
    EXPECT_EQ(withoutMnemonic("Add A_larm", '_'), "Add A_larm");
    EXPECT_EQ(withoutMnemonic("Save ~/.ssh/id_rsa", '_'), "Save ~/.ssh/id_rsa");
    EXPECT_EQ(withoutMnemonic("_a _b", '_'), "_a _b");
    EXPECT_EQ(withoutMnemonic("R&D", '&'), "R&D");
    EXPECT_EQ(withoutMnemonic("AT&T", '&'), "AT&T");
    EXPECT_EQ(withoutMnemonic("Tom & Jerry", '&'), "Tom & Jerry");
    EXPECT_EQ(withoutMnemonic("snake_case_name", '_'), "snake_case_name");
    EXPECT_EQ(withoutMnemonic("MAX_SIZE", '_'), "MAX_SIZE");
    EXPECT_EQ(withoutMnemonic("trailing_", '_'), "trailing_");
    EXPECT_EQ(withoutMnemonic("_", '_'), "_");
    EXPECT_EQ(withoutMnemonic("Drag & _drop", '&'), "Drag & _drop") << "another toolkit's marker is text";
}

TEST(WidgetText, MarkupReadsAsItsTextPlainTextStays) {
    EXPECT_EQ(withoutMarkup("<p style='white-space:pre'>Calculate number</p>"), "Calculate number");
    EXPECT_EQ(withoutMarkup("<b>Bold</b> and <i>italic</i>"), "Bold and italic");
    EXPECT_EQ(withoutMarkup("<span foreground=\"red\" weight='bold'>Salt &amp; Pepper</span>"), "Salt & Pepper");
    EXPECT_EQ(withoutMarkup("Line one<br/>line two<BR>three"), "Line one line two three");
    EXPECT_EQ(withoutMarkup("<html><head><style>p { color: red; }</style></head><body><p>Result</p>\n\n"
                            "<p>&lt;x&gt; &#8722;1 &#x3c0; &quot;q&quot;</p></body></html>"),
              "Result <x> −1 π \"q\"");
    EXPECT_EQ(withoutMarkup("<!-- note --><qt>Press <kbd>Enter</kbd></qt>"), "Press Enter");
    // An attribute holding '>' does not end its tag.
    EXPECT_EQ(withoutMarkup("<a title='a > b'>Link</a>"), "Link");
    // Not markup: comparisons, unknown tags, entities without any tag, an unfinished tag.
    EXPECT_EQ(withoutMarkup("a < b > c"), "a < b > c");
    EXPECT_EQ(withoutMarkup("<Untitled>"), "<Untitled>");
    EXPECT_EQ(withoutMarkup("Fish &amp; Chips"), "Fish &amp; Chips");
    EXPECT_EQ(withoutMarkup("<b unfinished"), "<b unfinished");
    // Entities that are not ones stay as written.
    EXPECT_EQ(withoutMarkup("<b>&bogus; &#0; &#xD800; &#99999999; & alone</b>"), "&bogus; &#0; &#xD800; &#99999999; & alone");
}

}  // namespace
}  // namespace velmor::platform
