#include "tools/catalogue.h"
#include "tools/tool_registry.h"

#include <gtest/gtest.h>
#include <stdexcept>

namespace velmor::tools {
namespace {

using nlohmann::json;

json done(const Arguments&) { return {{"ok", true}}; }

// Velmor starts only when every tool the catalogue lists has a handler and no handler is
// bound to a name it does not list: either would be a tool the agent is told of and cannot
// use, or one it can call and is never told of.
TEST(ToolRegistry, StartsOnlyWithAHandlerForEveryListedToolAndNoOther) {
    ToolRegistry registry([](const StepRecord&) {});
    EXPECT_THROW(registry.handle("click_ok", done), std::invalid_argument);
    EXPECT_THROW(registry.handle("shortcut_hello", done), std::invalid_argument);
    for (const auto& name : fixedToolNames())
        if (name != "screenshot" && name != "fill_form") registry.handle(name, done);
    auto complete = registry.checkComplete();
    ASSERT_FALSE(complete);
    EXPECT_EQ(complete.error(), "fixed tools without a handler: screenshot, fill_form");
    // What a registry wired in part answers, as a test's is.
    EXPECT_EQ(registry.callFixed("screenshot", json::object()), json({{"error", "screenshot is not available yet"}}));

    registry.handle("screenshot", done);
    registry.handle("fill_form", done);
    EXPECT_TRUE(registry.checkComplete());
    EXPECT_EQ(registry.callFixed("screenshot", json::object()), json({{"ok", true}}));
}

}  // namespace
}  // namespace velmor::tools
