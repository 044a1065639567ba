#include "base/json_object_file.h"
#include "base/paths.h"
#include "support/temp_home.h"

#include <filesystem>
#include <gtest/gtest.h>
#include <sys/stat.h>

namespace velmor {
namespace {

TEST(JsonObjectFile, KeepsKeysOfOtherWritersReplacesItsOwnAndWritesPrettyUtf8) {
    test::TempHome home;
    std::string path = paths::sharedConfigFile();
    test::writeFile(path, R"({"tts_provider":"openai","openai_api_key":"sk-1","token":"old","port":1})");
    ASSERT_TRUE(mergeIntoJsonObjectFile(path, {{"token", "new"}, {"port", 19820}, {"name", "Café ☃"}}));
    EXPECT_EQ(readJsonObjectFile(path), nlohmann::json({{"tts_provider", "openai"}, {"openai_api_key", "sk-1"},
                                                        {"token", "new"}, {"port", 19820}, {"name", "Café ☃"}}));
    EXPECT_NE(test::readFile(path).find("\n  \"name\": \"Café ☃\""), std::string::npos) << test::readFile(path);
}

TEST(JsonObjectFile, StartsAfreshFromAFileThatIsNotAJsonObject) {
    test::TempHome home;
    std::string path = paths::sharedConfigFile();
    for (const char* content : {"{not json", "[1,2]", "\"text\"", ""}) {
        test::writeFile(path, content);
        ASSERT_TRUE(mergeIntoJsonObjectFile(path, {{"token", "t"}}));
        EXPECT_EQ(readJsonObjectFile(path), nlohmann::json({{"token", "t"}})) << content;
    }
}

TEST(JsonObjectFile, SecretsAreReadableByTheOwnerOnly) {
    test::TempHome home;
    std::string path = paths::sharedConfigFile();
    ASSERT_TRUE(mergeIntoJsonObjectFile(path, {{"token", "t"}}));
    EXPECT_EQ(test::fileMode(home.path() + "/.velmor"), 0700u);
    EXPECT_EQ(test::fileMode(path), 0600u);

    // A file left world-readable by someone else is tightened on the next write.
    ::chmod(path.c_str(), 0644);
    ASSERT_TRUE(mergeIntoJsonObjectFile(path, {{"token", "u"}}));
    EXPECT_EQ(test::fileMode(path), 0600u);

    ASSERT_TRUE(mergeIntoJsonObjectFile(paths::defaultsFile(), {{"velmor_bearer_token", "t"}}));
    EXPECT_EQ(test::fileMode(home.path() + "/.config/velmor"), 0700u);
    EXPECT_EQ(test::fileMode(paths::defaultsFile()), 0600u);
}

TEST(JsonObjectFile, AFailedReplaceReportsFailureAndLeavesNoTemporaryBehind) {
    test::TempHome home;
    std::string dir = home.path() + "/settings";
    std::string path = dir + "/taken.json";
    std::filesystem::create_directories(path + "/occupied");  // a folder where the file belongs
    EXPECT_FALSE(mergeIntoJsonObjectFile(path, {{"kept", 2}}));
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir), {}), 1);
}

}  // namespace
}  // namespace velmor
