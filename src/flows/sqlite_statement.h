#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

struct sqlite3;
struct sqlite3_stmt;

namespace velmor::flows {

// One prepared statement, finalized when it goes out of scope so that no path of an
// operation can leave it open. A statement that failed to prepare (or a connection that
// never opened) turns every later call into a no-op, so callers only check `prepared()`.
class Statement {
public:
    Statement(sqlite3* db, std::string_view sql);
    ~Statement();
    Statement(const Statement&) = delete;
    Statement& operator=(const Statement&) = delete;

    bool prepared() const { return stmt_ != nullptr; }

    // Parameters are numbered from 1. Text is copied, so the caller's string may go away.
    void bindText(int index, std::string_view text);
    void bindNullableText(int index, const std::optional<std::string>& text);
    void bindInteger(int index, int64_t value);
    void bindNullableInteger(int index, std::optional<int64_t> value);

    // The engine's result code: SQLITE_ROW, SQLITE_DONE or an error.
    int step();
    bool nextRow();

    // Columns are numbered from 0; NULL reads as nothing.
    std::optional<std::string> text(int column) const;
    std::optional<int64_t> integer(int column) const;
    int64_t integerOr(int column, int64_t fallback) const;

private:
    sqlite3_stmt* stmt_ = nullptr;
};

// The connection's last error text, "unknown" when there is none.
std::string engineMessage(sqlite3* db);

}  // namespace velmor::flows
