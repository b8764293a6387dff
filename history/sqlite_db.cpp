#include "history/sqlite_db.h"

#include <cerrno>
#include <cstring>
#include <sqlite3.h>

namespace history {

namespace {

// Long enough for another program's merge (well under a second) to finish.
constexpr int BUSY_TIMEOUT_MS = 10000;

Error::Kind kindOf(int rc) {
    switch (rc & 0xFF) {
    case SQLITE_CANTOPEN:
        return Error::Kind::CannotOpen;
    case SQLITE_READONLY:
    case SQLITE_PERM:
    case SQLITE_AUTH:
        return Error::Kind::ReadOnly;
    case SQLITE_CORRUPT:
    case SQLITE_NOTADB:
        return Error::Kind::Corrupt;
    case SQLITE_FULL:
        return Error::Kind::DiskFull;
    case SQLITE_BUSY:
    case SQLITE_LOCKED:
        return Error::Kind::Busy;
    default:
        return Error::Kind::Other;
    }
}

} // namespace

SqliteDb::SqliteDb(const std::string& path, OpenMode mode) : m_path(path) {
    const int flags = mode == OpenMode::ReadOnly ? SQLITE_OPEN_READONLY
                                                 : SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE;
    const int rc = sqlite3_open_v2(path.c_str(), &m_db, flags | SQLITE_OPEN_NOMUTEX, nullptr);
    if (rc != SQLITE_OK) {
        const std::string message = m_db != nullptr ? sqlite3_errmsg(m_db) : sqlite3_errstr(rc);
        sqlite3_close(m_db);
        m_db = nullptr;
        throw Error(kindOf(rc), path + ": " + message);
    }
    sqlite3_extended_result_codes(m_db, 1);
    sqlite3_busy_timeout(m_db, BUSY_TIMEOUT_MS);
}

SqliteDb::~SqliteDb() {
    sqlite3_close_v2(m_db);
}

std::int64_t SqliteDb::lastInsertId() const {
    return sqlite3_last_insert_rowid(m_db);
}

void SqliteDb::exec(const char* sql) {
    const int rc = sqlite3_exec(m_db, sql, nullptr, nullptr, nullptr);
    if (rc != SQLITE_OK)
        fail(rc, "history access failed");
}

void SqliteDb::fail(int rc, const std::string& what) const {
    const int savedErrno = errno;
    std::string message = m_db != nullptr ? sqlite3_errmsg(m_db) : sqlite3_errstr(rc);
    Error::Kind kind = kindOf(rc);
    // A write that failed part-way: the system's error number (when SQLite
    // kept one) tells a full disk from other faults.
    int systemError = m_db != nullptr ? sqlite3_system_errno(m_db) : 0;
    if (systemError == 0)
        systemError = savedErrno;
    if (rc == SQLITE_IOERR_WRITE) {
        kind = Error::Kind::DiskFull;
        if (systemError != 0)
            message += std::string(" (") + std::strerror(systemError) + ")";
    }
    throw Error(kind, m_path + ": " + what + ": " + message);
}

Statement::Statement(SqliteDb& db, const char* sql) : m_db(db) {
    const int rc = sqlite3_prepare_v2(db.handle(), sql, -1, &m_stmt, nullptr);
    if (rc != SQLITE_OK)
        db.fail(rc, "cannot read the history");
}

Statement::~Statement() {
    sqlite3_finalize(m_stmt);
}

Statement& Statement::bind(int index, std::int64_t value) {
    sqlite3_bind_int64(m_stmt, index, value);
    return *this;
}

Statement& Statement::bind(int index, const std::string& text) {
    sqlite3_bind_text(m_stmt, index, text.data(), static_cast<int>(text.size()), SQLITE_TRANSIENT);
    return *this;
}

Statement& Statement::bind(int index, std::span<const std::uint8_t> blob) {
    sqlite3_bind_blob(m_stmt, index, blob.data(), static_cast<int>(blob.size()), SQLITE_TRANSIENT);
    return *this;
}

Statement& Statement::bindNull(int index) {
    sqlite3_bind_null(m_stmt, index);
    return *this;
}

bool Statement::step() {
    const int rc = sqlite3_step(m_stmt);
    if (rc == SQLITE_ROW)
        return true;
    if (rc == SQLITE_DONE)
        return false;
    sqlite3_reset(m_stmt);
    m_db.fail(rc, "history access failed");
}

void Statement::reset() {
    sqlite3_reset(m_stmt);
}

std::int64_t Statement::integer(int column) const {
    return sqlite3_column_int64(m_stmt, column);
}

bool Statement::isNull(int column) const {
    return sqlite3_column_type(m_stmt, column) == SQLITE_NULL;
}

std::span<const std::uint8_t> Statement::blob(int column) const {
    const void* data = sqlite3_column_blob(m_stmt, column);
    const int size = sqlite3_column_bytes(m_stmt, column);
    if (data == nullptr || size <= 0)
        return {};
    return {static_cast<const std::uint8_t*>(data), static_cast<size_t>(size)};
}

std::optional<std::int64_t> queryInteger(SqliteDb& db, const char* sql) {
    Statement statement(db, sql);
    if (!statement.step() || statement.isNull(0))
        return std::nullopt;
    return statement.integer(0);
}

} // namespace history
