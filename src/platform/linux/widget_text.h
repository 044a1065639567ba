#pragma once

#include <string>
#include <string_view>

namespace velmor::platform {

// Widget texts as toolkits hand them over, raw, to the accessibility bus, turned into what
// the user reads on screen.

// The text without its mnemonic marker (`marker` is '_' for GTK, '&' for Qt): "_Add Alarm"
// and "Add A_larm" read "Add Alarm", "&File" reads "File". A doubled marker is the character
// itself ("R&&D" reads "R&D"). A marker before a blank or at the end, between two capitals
// ("R&D", "AT&T", "MAX_SIZE") or one of several in the text ("snake_case_name") is taken as
// the character itself too: a label has one mnemonic, and a toolkit that already removed it
// hands over such texts as they are.
std::string withoutMnemonic(std::string_view text, char marker);

// The text of HTML or Pango markup ("<p style='white-space:pre'>Calculate number</p>" reads
// "Calculate number"): tags removed, a line break or block end as a space, entities decoded.
// A text without any tag of those languages is not markup and stays as it is ("a < b").
std::string withoutMarkup(std::string_view text);

}  // namespace velmor::platform
