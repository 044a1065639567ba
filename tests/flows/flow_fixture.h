#pragma once

#include "base/paths.h"
#include "flows/flow_store.h"
#include "support/temp_home.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>
#include <sqlite3.h>
#include <string>
#include <vector>

namespace velmor::test {

using Json = nlohmann::json;
using Names = std::vector<std::string>;

// A second connection to the flow database, to plant rows and to see what was stored.
class RawDatabase {
public:
    explicit RawDatabase(const std::string& path) { sqlite3_open(path.c_str(), &db_); }
    ~RawDatabase() { sqlite3_close(db_); }

    void exec(const std::string& sql) {
        EXPECT_EQ(sqlite3_exec(db_, sql.c_str(), nullptr, nullptr, nullptr), SQLITE_OK) << sql;
    }

    // The first column of the first row as text; "" for NULL or no row.
    std::string text(const std::string& sql) {
        sqlite3_stmt* statement = nullptr;
        sqlite3_prepare_v2(db_, sql.c_str(), -1, &statement, nullptr);
        std::string value;
        if (sqlite3_step(statement) == SQLITE_ROW && sqlite3_column_text(statement, 0))
            value = reinterpret_cast<const char*>(sqlite3_column_text(statement, 0));
        sqlite3_finalize(statement);
        return value;
    }
    long long integer(const std::string& sql) { return std::atoll(text(sql).c_str()); }

private:
    sqlite3* db_ = nullptr;
};

inline Names toolsOf(const Json& flow) {
    Names tools;
    for (const auto& step : flow.at("steps")) tools.push_back(step.at("tool"));
    return tools;
}

inline Names namesOf(const Json& flows) {
    Names names;
    for (const auto& flow : flows) names.push_back(flow.at("name"));
    return names;
}

// A flow store on a real file in a temporary HOME, at the path the application uses.
class FlowStoreTest : public ::testing::Test {
protected:
    // Records and saves a flow whose steps are the given tools, called without arguments.
    Json saveFlow(const std::string& name, const std::string& app, const Names& tools,
                  const std::optional<std::string>& targetUrl = std::nullopt) {
        store.beginRecording(app, std::nullopt, targetUrl);
        for (const auto& tool : tools) store.recordStep(tool, Json::object());
        auto saved = store.endRecording(name);
        EXPECT_TRUE(saved) << saved.error();
        return saved ? *saved : Json();
    }

    TempHome home;
    std::string path = paths::flowDatabase();
    flows::FlowStore store{path};
    RawDatabase raw{path};
};

}  // namespace velmor::test
