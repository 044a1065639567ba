#include "flows/sqlite_statement.h"

#include <sqlite3.h>

namespace velmor::flows {

Statement::Statement(sqlite3* db, std::string_view sql) {
    // Without a connection the engine would be handed a null handle, which is undefined
    // behaviour unless it was built with API armour.
    if (!db) return;
    if (sqlite3_prepare_v2(db, sql.data(), static_cast<int>(sql.size()), &stmt_, nullptr) != SQLITE_OK) {
        sqlite3_finalize(stmt_);
        stmt_ = nullptr;
    }
}

Statement::~Statement() { sqlite3_finalize(stmt_); }

void Statement::bindText(int index, std::string_view text) {
    if (stmt_) sqlite3_bind_text(stmt_, index, text.data(), static_cast<int>(text.size()), SQLITE_TRANSIENT);
}

void Statement::bindNullableText(int index, const std::optional<std::string>& text) {
    if (text) bindText(index, *text);
    else if (stmt_) sqlite3_bind_null(stmt_, index);
}

void Statement::bindInteger(int index, int64_t value) {
    if (stmt_) sqlite3_bind_int64(stmt_, index, value);
}

void Statement::bindNullableInteger(int index, std::optional<int64_t> value) {
    if (value) bindInteger(index, *value);
    else if (stmt_) sqlite3_bind_null(stmt_, index);
}

int Statement::step() { return stmt_ ? sqlite3_step(stmt_) : SQLITE_MISUSE; }

bool Statement::nextRow() { return step() == SQLITE_ROW; }

std::optional<std::string> Statement::text(int column) const {
    if (!stmt_ || sqlite3_column_type(stmt_, column) == SQLITE_NULL) return std::nullopt;
    const auto* bytes = reinterpret_cast<const char*>(sqlite3_column_text(stmt_, column));
    return std::string(bytes, static_cast<size_t>(sqlite3_column_bytes(stmt_, column)));
}

std::optional<int64_t> Statement::integer(int column) const {
    if (!stmt_ || sqlite3_column_type(stmt_, column) == SQLITE_NULL) return std::nullopt;
    return sqlite3_column_int64(stmt_, column);
}

int64_t Statement::integerOr(int column, int64_t fallback) const { return integer(column).value_or(fallback); }

std::string engineMessage(sqlite3* db) {
    const char* message = db ? sqlite3_errmsg(db) : nullptr;
    return message && *message ? message : "unknown";
}

}  // namespace velmor::flows
