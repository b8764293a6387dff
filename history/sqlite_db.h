// A thin owner of an SQLite connection and its prepared statements. Every
// failure becomes a history::Error that names the file and the cause.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>

#include "history/record_store.h"

struct sqlite3;
struct sqlite3_stmt;

namespace history {

class SqliteDb {
public:
    SqliteDb(const std::string& path, OpenMode mode);
    ~SqliteDb();
    SqliteDb(const SqliteDb&) = delete;
    SqliteDb& operator=(const SqliteDb&) = delete;

    sqlite3* handle() const { return m_db; }
    const std::string& path() const { return m_path; }

    std::int64_t lastInsertId() const;
    // Runs one or more statements that return no rows.
    void exec(const char* sql);
    // The Error for result code rc (or the connection's last one).
    [[noreturn]] void fail(int rc, const std::string& what) const;

private:
    sqlite3* m_db = nullptr;
    std::string m_path;
};

class Statement {
public:
    Statement(SqliteDb& db, const char* sql);
    ~Statement();
    Statement(const Statement&) = delete;
    Statement& operator=(const Statement&) = delete;

    Statement& bind(int index, std::int64_t value);
    Statement& bind(int index, const std::string& text);
    Statement& bind(int index, std::span<const std::uint8_t> blob);
    Statement& bindNull(int index);
    // Steps once: true while a row is there, false when done.
    bool step();
    // Resets for the next run, keeping the bindings open for new values.
    void reset();

    std::int64_t integer(int column) const;
    bool isNull(int column) const;
    std::span<const std::uint8_t> blob(int column) const;

private:
    SqliteDb& m_db;
    sqlite3_stmt* m_stmt = nullptr;
};

// Runs a statement that yields one integer (or nothing).
std::optional<std::int64_t> queryInteger(SqliteDb& db, const char* sql);

} // namespace history
