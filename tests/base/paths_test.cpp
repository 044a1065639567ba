#include "base/paths.h"
#include "support/temp_home.h"

#include <cstdlib>
#include <filesystem>
#include <gtest/gtest.h>
#include <optional>

namespace velmor {
namespace {

// Sets an environment variable for the lifetime of the object (nothing: unset).
class ScopedEnv {
public:
    ScopedEnv(const char* name, std::optional<std::string> value) : name_(name) {
        if (const char* old = std::getenv(name)) saved_ = old;
        if (value) ::setenv(name, value->c_str(), 1);
        else ::unsetenv(name);
    }
    ~ScopedEnv() {
        if (saved_) ::setenv(name_, saved_->c_str(), 1);
        else ::unsetenv(name_);
    }

private:
    const char* name_;
    std::optional<std::string> saved_;
};

TEST(Paths, TheLogLivesInTheStateFolderOfTheXdgBaseDirectories) {
    test::TempHome home;
    {
        ScopedEnv state("XDG_STATE_HOME", std::nullopt);
        EXPECT_EQ(paths::logFile(), home.path() + "/.local/state/velmor/velmor.log");
    }
    {
        ScopedEnv state("XDG_STATE_HOME", "relative/state");  // not absolute: ignored
        EXPECT_EQ(paths::logFile(), home.path() + "/.local/state/velmor/velmor.log");
    }
    ScopedEnv state("XDG_STATE_HOME", home.path() + "/state");
    EXPECT_EQ(paths::logFile(), home.path() + "/state/velmor/velmor.log");
}

// Recordings go where xdg-user-dir VIDEOS would say: the user-dirs file first, then an
// existing ~/Videos, then home itself.
TEST(Paths, RecordingsGoToTheUsersVideosFolder) {
    test::TempHome home;
    const std::string dirs = home.path() + "/.config/user-dirs.dirs";
    EXPECT_EQ(paths::videosDirectory(), home.path()) << "no user-dirs file and no ~/Videos";
    std::filesystem::create_directories(home.path() + "/Videos");
    EXPECT_EQ(paths::videosDirectory(), home.path() + "/Videos");

    test::writeFile(dirs, "# written by xdg-user-dirs-update\n"
                          "XDG_DESKTOP_DIR=\"$HOME/Desktop\"\n"
                          "XDG_VIDEOS_DIR=\"$HOME/Vidéos\"\n");
    EXPECT_EQ(paths::videosDirectory(), home.path() + "/Vidéos") << "used even before it exists";

    // The last line wins; absolute paths and quoted characters are read as the shell would.
    test::writeFile(dirs, "XDG_VIDEOS_DIR=\"$HOME/Old\"\n  XDG_VIDEOS_DIR = \"/srv/my \\\"films\\\"/\"\n");
    EXPECT_EQ(paths::videosDirectory(), "/srv/my \"films\"");
    test::writeFile(dirs, "XDG_VIDEOS_DIR=\"$HOME\"\n");
    EXPECT_EQ(paths::videosDirectory(), home.path());

    // Forms xdg-user-dir does not accept leave the fallback in place.
    for (const char* unusable : {"XDG_VIDEOS_DIR=\"relative/films\"\n", "XDG_VIDEOS_DIR=\"$HOMEfilms\"\n",
                                 "XDG_VIDEOS_DIR=\"$HOME/unterminated\n", "XDG_VIDEOS_DIRS=\"/elsewhere\"\n",
                                 "# XDG_VIDEOS_DIR=\"/commented\"\n"}) {
        test::writeFile(dirs, unusable);
        EXPECT_EQ(paths::videosDirectory(), home.path() + "/Videos") << unusable;
    }
    // A file far larger than a settings file is not read at all.
    test::writeFile(dirs, "XDG_VIDEOS_DIR=\"/srv/films\"\n" + std::string(100 * 1024, '#'));
    EXPECT_EQ(paths::videosDirectory(), home.path() + "/Videos");

    ScopedEnv config("XDG_CONFIG_HOME", home.path() + "/elsewhere");
    test::writeFile(home.path() + "/elsewhere/user-dirs.dirs", "XDG_VIDEOS_DIR=\"$HOME/Clips\"\n");
    EXPECT_EQ(paths::videosDirectory(), home.path() + "/Clips");
}

}  // namespace
}  // namespace velmor
