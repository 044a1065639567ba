#include "base/log.h"
#include "flow_fixture.h"

#include <algorithm>
#include <filesystem>
#include <sys/stat.h>

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

TEST(FlowDatabaseOpening, RecordingsAKilledRunLeftUnfinishedAreRemoved) {
    TempHome home;
    const std::string path = paths::flowDatabase();
    {
        flows::FlowStore store(path);
        store.beginRecording("Notes");
        store.recordStep("click_a", Json::object());
        ASSERT_TRUE(store.endRecording("kept"));
        store.beginRecording("Notes");
        store.recordStep("click_b", Json::object());
        // The process dies here: the placeholder and its step stay in the file.
    }
    EXPECT_EQ(RawDatabase(path).text("SELECT COUNT(*) FROM flows WHERE name = '__recording__'"), "1");

    flows::FlowStore store(path);
    RawDatabase raw(path);
    EXPECT_EQ(raw.text("SELECT COUNT(*) FROM flows WHERE name = '__recording__'"), "0");
    EXPECT_EQ(raw.text("SELECT COUNT(*) FROM flow_steps"), "1");
    EXPECT_EQ(store.loadFlow("kept").value().at("step_count"), 1);
    Log::flush();
    EXPECT_NE(readFile(Log::path()).find("Removed 1 unfinished recording(s) left by an earlier run"), std::string::npos);
}
