// The slug rule has one definition in C++ and a copy in the page scripts, which run in the
// browser. Both name tools an agent sees side by side, so they must agree: the same labels
// go through both here, the page script's copy run by Node.js.
#include "base/text.h"
#include "support/child_process.h"
#include "support/temp_home.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <string>
#include <vector>

namespace velmor::test {
namespace {

// The length the page scripts cut their slugs to.
constexpr size_t kPageSlugLength = 50;

std::vector<std::string> pageScriptSlugs(const std::vector<std::string>& labels) {
    std::string program = readFile(VELMOR_PAGE_HELPERS_JS) + "\nprocess.stdout.write(JSON.stringify(" +
                          nlohmann::json(labels).dump() + ".map(slug)) + '\\n');\n";
    ChildProcess node({"node", "-"});
    node.writeStdin(program);
    node.closeStdin();
    std::string line;
    EXPECT_TRUE(node.readLine(line, 20000)) << "node did not answer: " << node.drainStderr();
    EXPECT_EQ(node.wait(), 0);
    auto slugs = nlohmann::json::parse(line, nullptr, false);
    if (!slugs.is_array()) return {};
    return slugs.get<std::vector<std::string>>();
}

TEST(SlugRule, ThePageScriptsCopyAgreesWithTheOneDefinition) {
    const std::vector<std::string> labels = {
        "Hello World", "  Morning  Routine 2  ", "hello-world", "Log Café Visit!", "日本語", "!!!", "",
        "Sign in → Continue", "Déjà vu (2nd edition)", "E-mail: address@example.org", "Tab\there\nand a new line",
        "MixedCASE123abc", "😀 Smile 😀", "___already_slugged___", std::string(60, 'a'), std::string(49, 'a') + " b and more",
        "A label that is long enough to be cut, somewhere in the middle of its words",
    };
    std::vector<std::string> expected;
    for (const auto& label : labels) expected.push_back(toSlug(label, kPageSlugLength));
    EXPECT_EQ(pageScriptSlugs(labels), expected);

    // The rule itself, on the cases where a mistake would show first.
    EXPECT_EQ(toSlug("Log Café Visit!", 50), "log_caf_visit");
    EXPECT_EQ(toSlug("  Morning  Routine 2  ", 50), "morning_routine_2");
    EXPECT_EQ(toSlug("hello-world", 50), "hello_world");
    EXPECT_EQ(toSlug("日本語", 50), "");
    // Stripping happens before the cut, so a cut landing on "_" keeps it.
    EXPECT_EQ(toSlug(std::string(49, 'a') + " b", 50), std::string(49, 'a') + "_");
    EXPECT_EQ(toSlug("Save As…", 4), "save");
}

}  // namespace
}  // namespace velmor::test
