#pragma once

#include <array>

// The flow database is a stored format: files written by any earlier version must keep
// opening, and later versions must open ours. These statements run, in this order, every
// time the database is opened; none may be edited, only new ones appended.
namespace velmor::flows::schema {

inline constexpr const char* kCreateFlows =
    "CREATE TABLE IF NOT EXISTS flows (\n"
    "    id INTEGER PRIMARY KEY AUTOINCREMENT,\n"
    "    name TEXT NOT NULL,\n"
    "    app_name TEXT NOT NULL,\n"
    "    bundle_id TEXT,\n"
    "    description TEXT,\n"
    "    created_at TEXT DEFAULT (datetime('now')),\n"
    "    updated_at TEXT DEFAULT (datetime('now')),\n"
    "    run_count INTEGER DEFAULT 0,\n"
    "    version INTEGER DEFAULT 1,\n"
    "    target_url TEXT\n"
    ")";

inline constexpr const char* kCreateFlowSteps =
    "CREATE TABLE IF NOT EXISTS flow_steps (\n"
    "    id INTEGER PRIMARY KEY AUTOINCREMENT,\n"
    "    flow_id INTEGER NOT NULL REFERENCES flows(id) ON DELETE CASCADE,\n"
    "    step_number INTEGER NOT NULL,\n"
    "    tool_name TEXT NOT NULL,\n"
    "    args_json TEXT,\n"
    "    window_title TEXT,\n"
    "    element_count INTEGER,\n"
    "    wait_ms INTEGER DEFAULT 300,\n"
    "    narration TEXT,\n"
    "    page_url TEXT,\n"
    "    context TEXT,\n"
    "    created_at TEXT DEFAULT (datetime('now'))\n"
    ")";

inline constexpr const char* kIndexSteps =
    "CREATE INDEX IF NOT EXISTS idx_flow_steps_flow ON flow_steps(flow_id, step_number)";
inline constexpr const char* kIndexNames = "CREATE INDEX IF NOT EXISTS idx_flows_name ON flows(name)";

// Columns that databases of earlier versions lack, each added only where it is missing.
struct ColumnMigration {
    const char* table;
    const char* column;
    const char* statement;
};

inline constexpr std::array<ColumnMigration, 4> kMigrations = {{
    {"flows", "version", "ALTER TABLE flows ADD COLUMN version INTEGER DEFAULT 1"},
    {"flows", "target_url", "ALTER TABLE flows ADD COLUMN target_url TEXT"},
    {"flow_steps", "page_url", "ALTER TABLE flow_steps ADD COLUMN page_url TEXT"},
    {"flow_steps", "context", "ALTER TABLE flow_steps ADD COLUMN context TEXT"},
}};

// Run before the migrations.
inline constexpr std::array<const char*, 4> kCreateStatements = {kCreateFlows, kCreateFlowSteps, kIndexSteps,
                                                                 kIndexNames};

}  // namespace velmor::flows::schema
