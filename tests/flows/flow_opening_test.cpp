#include "base/log.h"
#include "flow_fixture.h"

#include <algorithm>
#include <filesystem>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/statvfs.h>

#include <cerrno>
#include <cstring>

using namespace velmor;
using namespace velmor::test;

namespace {

// Opens a store on a file that cannot be used and checks that every operation takes its
// failure path and the log says why.
void expectUnusable(const std::string& path, const std::string& why) {
    flows::FlowStore store(path);
    EXPECT_EQ(store.listFlows(), Json::array());
    EXPECT_EQ(store.searchFlows("x"), Json::array());
    EXPECT_EQ(store.loadFlow("x").error(), "db error");
    EXPECT_EQ(store.deleteFlow("x").error(), "db error");
    store.beginRecording("Notes");
    store.recordStep("click_a", Json::object());
    EXPECT_EQ(store.endRecording("x").error(), "not recording");
    Log::flush();
    EXPECT_NE(readFile(Log::path()).find("Failed to open database at " + path + ": " + why), std::string::npos);
}

std::string schemaOf(const std::string& path) {
    return RawDatabase(path).text("SELECT group_concat(sql, ';') FROM (SELECT sql FROM sqlite_master ORDER BY name)");
}

}  // namespace

TEST(FlowDatabaseOpening, AddsTheColumnsThatOlderDatabasesLack) {
    TempHome home;
    const std::string path = paths::flowDatabase();
    writeFile(path, "");
    RawDatabase(path).exec(
        "CREATE TABLE flows (id INTEGER PRIMARY KEY AUTOINCREMENT, name TEXT NOT NULL, app_name TEXT NOT NULL, "
        "bundle_id TEXT, description TEXT, created_at TEXT DEFAULT (datetime('now')), "
        "updated_at TEXT DEFAULT (datetime('now')), run_count INTEGER DEFAULT 0);"
        "CREATE TABLE flow_steps (id INTEGER PRIMARY KEY AUTOINCREMENT, "
        "flow_id INTEGER NOT NULL REFERENCES flows(id) ON DELETE CASCADE, step_number INTEGER NOT NULL, "
        "tool_name TEXT NOT NULL, args_json TEXT, window_title TEXT, element_count INTEGER, "
        "wait_ms INTEGER DEFAULT 300, narration TEXT, created_at TEXT DEFAULT (datetime('now')));"
        "INSERT INTO flows (name, app_name) VALUES ('legacy', 'Notes');"
        "INSERT INTO flow_steps (flow_id, step_number, tool_name, wait_ms) VALUES (1, 1, 'click_ok', 500);");

    flows::FlowStore store(path);
    EXPECT_EQ(store.listFlows()[0].at("version"), 1);
    EXPECT_EQ(store.loadFlow("legacy").value().at("steps"), (Json{{{"step", 1}, {"tool", "click_ok"}, {"wait_ms", 500}}}));
    store.beginRecording("Notes", std::nullopt, "https://example.org/");
    store.recordStep("web_action", Json::object(), std::nullopt, std::nullopt, "https://example.org/a", "browser-ws");
    ASSERT_TRUE(store.endRecording("legacy"));
    Json newest = store.loadFlow("legacy").value();
    EXPECT_EQ(newest.at("version"), 2);
    EXPECT_EQ(newest.at("target_url"), "https://example.org/");
    EXPECT_EQ(newest.at("steps")[0].at("context"), "browser-ws");
}

TEST(FlowDatabaseOpening, CreatingAndReopeningACurrentDatabaseIsQuietAndChangesNothing) {
    TempHome home;
    const std::string path = paths::flowDatabase();
    Log::flush();
    const size_t logBefore = readFile(Log::path()).size();
    flows::FlowStore(path).beginRecording("Notes");
    const std::string schema = schemaOf(path);
    flows::FlowStore store(path);
    EXPECT_EQ(schemaOf(path), schema);
    EXPECT_EQ(RawDatabase(path).text("PRAGMA journal_mode"), "wal");
    Log::flush();
    std::string logged = readFile(Log::path());
    // Other tests log errors of their own meanwhile; no migration may fail.
    EXPECT_EQ(logged.find("duplicate column", std::min(logBefore, logged.size())), std::string::npos)
        << logged.substr(std::min(logBefore, logged.size()));
}

TEST(FlowDatabaseOpening, UnusableFilesAndFoldersAreLeftExactlyAsTheyWere) {
    TempHome home;
    const std::string path = paths::flowDatabase();
    const std::string notSQLite(4096, 'x');
    writeFile(path, notSQLite);
    expectUnusable(path, "file is not a database");
    EXPECT_EQ(readFile(path), notSQLite);

    std::filesystem::remove(path);
    {
        flows::FlowStore store(path);
        for (int i = 0; i < 50; ++i) {
            store.beginRecording("Notes");
            store.recordStep("click_a", {{"text", std::string(200, 'a')}});
            ASSERT_TRUE(store.endRecording("flow " + std::to_string(i)));
        }
    }
    std::string damaged = readFile(path);
    ASSERT_GT(damaged.size(), 3u * 4096);
    std::fill(damaged.begin() + 4096, damaged.begin() + 3 * 4096, '\xff');
    writeFile(path, damaged);
    expectUnusable(path, "damaged database");
    EXPECT_EQ(readFile(path), damaged);

    std::filesystem::remove_all(paths::dataHome() + "/velmor");
    writeFile(paths::dataHome() + "/velmor", "a file where the folder belongs");  // fails even for root
    expectUnusable(path, "cannot create folder");
    EXPECT_EQ(readFile(paths::dataHome() + "/velmor"), "a file where the folder belongs");
}

TEST(FlowDatabaseOpening, TheDatabaseAndItsFolderAreReadableByTheUserAlone) {
    TempHome home;
    const std::string path = paths::flowDatabase();
    {
        flows::FlowStore store(path);
        store.beginRecording("Notes");
        store.recordStep("type_text", {{"text", "my password"}});
        EXPECT_EQ(fileMode(path + "-wal"), 0600u);
        EXPECT_EQ(fileMode(path + "-shm"), 0600u);
    }
    EXPECT_EQ(fileMode(path), 0600u);
    EXPECT_EQ(fileMode(std::filesystem::path(path).parent_path()), 0700u);

    // Files an earlier version left open to everyone are closed up at the next opening.
    ::chmod(path.c_str(), 0644);
    ::chmod(std::filesystem::path(path).parent_path().c_str(), 0755);
    flows::FlowStore reopened(path);
    EXPECT_EQ(fileMode(path), 0600u);
    EXPECT_EQ(fileMode(std::filesystem::path(path).parent_path()), 0700u);
}

TEST(FlowDatabaseOpening, RecordingsAKilledRunLeftUnfinishedAreKeptAsIncompleteFlows) {
    TempHome home;
    const std::string path = paths::flowDatabase();
    {
        flows::FlowStore store(path);
        store.beginRecording("Notes");
        store.recordStep("click_a", Json::object());
        ASSERT_TRUE(store.endRecording("kept"));
        store.beginRecording("Empty");  // abandoned without a step
        store.beginRecording("Notes");
        store.recordStep("click_b", Json{{"n", 1}});
        store.recordStep("type_text", Json{{"text", "hi"}});
        // The process dies here: the placeholders and their steps stay in the file.
    }
    EXPECT_EQ(RawDatabase(path).text("SELECT COUNT(*) FROM flows WHERE name = '__recording__'"), "2");

    flows::FlowStore store(path);
    RawDatabase raw(path);
    EXPECT_EQ(raw.text("SELECT COUNT(*) FROM flows WHERE name = '__recording__'"), "0");
    EXPECT_EQ(raw.text("SELECT COUNT(*) FROM flows WHERE app_name = 'Empty'"), "0") << "nothing to keep";
    EXPECT_EQ(namesOf(store.listFlows()), (Names{"Notes recording (incomplete)", "kept"}));
    auto incomplete = store.loadFlow("Notes recording (incomplete)");
    ASSERT_TRUE(incomplete);
    EXPECT_EQ(toolsOf(*incomplete), (Names{"click_b", "type_text"}));
    EXPECT_EQ(store.loadFlow("kept").value().at("step_count"), 1);
    Log::flush();
    EXPECT_NE(readFile(Log::path()).find("Kept an unfinished recording of 2 steps as 'Notes recording (incomplete)' v1"),
              std::string::npos);
}

// The disk fills in the middle of a recording: the steps stored before it filled survive the
// run's end and the next start while the disk is still full, and appear as an incomplete
// flow once there is room again. The disk is a real file system of 512 KiB.
TEST(FlowDatabaseOpening, ADiskThatFillsMidRecordingKeepsTheStoredSteps) {
    TempHome home;
    const std::string disk = home.path() + "/small-disk";
    std::filesystem::create_directories(disk);
    if (::mount("tmpfs", disk.c_str(), "tmpfs", 0, "size=512k,mode=0700") != 0)
        GTEST_SKIP() << "mounting a small file system needs root: " << std::strerror(errno);
    struct Unmount {
        std::string at;
        ~Unmount() { ::umount2(at.c_str(), MNT_DETACH); }
    } unmount{disk};
    const std::string path = disk + "/flows.db", filler = disk + "/filler";
    const std::string bulky(16 * 1024, 'x');
    constexpr int kSteps = 10;
    {
        flows::FlowStore store(path);
        store.beginRecording("Notes");
        struct statvfs room{};
        ASSERT_EQ(::statvfs(disk.c_str(), &room), 0);
        // Leaves room for a few of the steps only.
        const size_t left = 96 * 1024, free = room.f_bavail * room.f_frsize;
        ASSERT_GT(free, left);
        writeFile(filler, std::string(free - left, 'f'));
        for (int step = 1; step <= kSteps; ++step) store.recordStep("type_text", Json{{"step", step}, {"text", bulky}});
        EXPECT_EQ(store.endRecording("notes").error(), "db error");
    }
    auto storedSteps = [&] {
        return RawDatabase(path).integer("SELECT COUNT(*) FROM flow_steps");
    };
    const long long stored = storedSteps();
    EXPECT_GT(stored, 0);
    EXPECT_LT(stored, kSteps) << "the disk was meant to fill";

    { flows::FlowStore stillFull(path); }
    EXPECT_EQ(storedSteps(), stored) << "a start on a full disk loses nothing";

    std::filesystem::remove(filler);
    flows::FlowStore store(path);
    EXPECT_EQ(namesOf(store.listFlows()), (Names{"Notes recording (incomplete)"}));
    auto incomplete = store.loadFlow("Notes recording (incomplete)");
    ASSERT_TRUE(incomplete) << incomplete.error();
    ASSERT_EQ(incomplete->at("steps").size(), static_cast<size_t>(stored));
    for (long long i = 0; i < stored; ++i) {
        const Json& step = incomplete->at("steps")[i];
        EXPECT_EQ(step.at("tool"), "type_text");
        EXPECT_EQ(step.at("args"), (Json{{"step", i + 1}, {"text", bulky}})) << "stored steps are whole and in order";
    }
}