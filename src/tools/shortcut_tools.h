#pragma once

#include "shortcuts/shortcut_builder.h"
#include "tools/tool_router.h"

#include <memory>
#include <string>

namespace velmor::tools {

// The shortcuts as a dynamic tool family: their listing is read again only when the
// library folder has changed since, so tools/list stays quick with a large library.
std::shared_ptr<ShortcutFamily> shortcutToolFamily(const shortcuts::ShortcutBuilder& builder,
                                                   std::string libraryFolder);

// list_shortcuts, run_shortcut and create_shortcut.
void installShortcutTools(ToolRouter& router, const shortcuts::ShortcutBuilder& builder);

}  // namespace velmor::tools
