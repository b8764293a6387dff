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
struct sqlite3_value;

namespace history {

class SqliteDb {
public:
    // A folder at path is refused (NotOurs). ReadOnly never writes to the
    // file nor needs to: see reopenImmutable.
    SqliteDb(const std::string& path, OpenMode mode);
    ~SqliteDb();
    SqliteDb(const SqliteDb&) = delete;
    SqliteDb& operator=(const SqliteDb&) = delete;

    sqlite3* handle() const { return m_db; }
    const std::string& path() const { return m_path; }
    OpenMode mode() const { return m_mode; }
    // Opens the file again, read-only, as a file nothing changes (no locks,
    // no -shm): for a read-only folder where SQLite cannot make the -shm of a
    // WAL file. Changes in a -wal without its -shm are not seen.
    void reopenImmutable();
    // Closing will not fold a -wal into the file: for a file that is not
    // ours, which this program must leave as it found it.
    void keepLogOnClose();

    std::int64_t lastInsertId() const;
    // Runs one or more statements that return no rows.
    void exec(const char* sql);
    // The Error for result code rc (or the connection's last one).
    [[noreturn]] void fail(int rc, const std::string& what) const;

private:
    void open(const std::string& uri, int flags);

    sqlite3* m_db = nullptr;
    std::string m_path;
    OpenMode m_mode;
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
    // A value as another statement's column gave it.
    Statement& bindValue(int index, const sqlite3_value* value);
    // Steps once: true while a row is there, false when done.
    bool step();
    // Resets for the next run, keeping the bindings open for new values.
    void reset();

    std::int64_t integer(int column) const;
    bool isNull(int column) const;
    std::string text(int column) const;
    std::span<const std::uint8_t> blob(int column) const;

private:
    SqliteDb& m_db;
    sqlite3_stmt* m_stmt = nullptr;
};

// path as an SQLite URI (the characters URIs reserve escaped), for options to follow.
std::string sqliteUri(const std::string& path);

// Runs a statement that yields one integer (or nothing).
std::optional<std::int64_t> queryInteger(SqliteDb& db, const char* sql);

} // namespace history
