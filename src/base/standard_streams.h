#pragma once

namespace velmor {

// Opens /dev/null on whichever of descriptors 0, 1 and 2 this process was started without.
// Left closed, the next socket or file it opens would take that number, and whatever writes
// to standard error (its own announcements, the toolkit's warnings) would write into that
// connection or file; a child would be handed it as a standard stream. Call first in main.
void fillClosedStandardStreams();

}  // namespace velmor
