// Shortcut files as velmor-shortcuts reads them (run, import, sign): any bytes, binary or
// XML property lists alike. A file that is accepted must also survive being written out
// again and read back, as the import does when it copies a shortcut into the library.
#include "shortcuts/shortcut_file.h"

#include <cstdint>
#include <cstdlib>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace velmor::shortcuts;
    auto actions = parseShortcutFile(std::string(reinterpret_cast<const char*>(data), size));
    if (!actions) return 0;
    auto written = shortcutFileBytes(*actions);
    if (!written || !parseShortcutFile(*written)) std::abort();
    return 0;
}
