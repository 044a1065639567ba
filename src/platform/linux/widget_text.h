#pragma once

#include <string>
#include <string_view>

namespace velmor::platform {

// Widget texts as toolkits hand them over, raw, to the accessibility bus, turned into what
// the user reads on screen.

// The text without its mnemonic marker (`marker` is '_' for GTK, '&' for Qt): "_Add Alarm"
// reads "Add Alarm", "&File" reads "File", and "Add A_larm Add Alarm" (the raw text and the
// read one joined) reads "Add Alarm". A doubled marker is the character itself ("R&&D"
// reads "R&D"). Other markers are taken as the character too: one inside a word ("id_rsa",
// "R&D"), before a blank or at the end, or one of several ("_a _b"), since a toolkit that
// already read the text hands such texts over as they are.
std::string withoutMnemonic(std::string_view text, char marker);

// The text of HTML or Pango markup ("<p style='white-space:pre'>Calculate number</p>" reads
// "Calculate number"): tags removed, a line break or block end as a space, entities decoded.
// A text without any tag of those languages is not markup and stays as it is ("a < b").
std::string withoutMarkup(std::string_view text);

}  // namespace velmor::platform
