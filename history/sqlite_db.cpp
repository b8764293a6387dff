#include "history/sqlite_db.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <sqlite3.h>

#include "platform/file_names.h"

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

std::string sqliteUri(const std::string& path) {
    std::string uri = "file:";
    if (path.rfind("//", 0) == 0)
        uri += "//localhost"; // else the first name would be taken for a host
    for (const char c : path) {
        if (c == '%' || c == '?' || c == '#') {
            char escaped[4];
            std::snprintf(escaped, sizeof escaped, "%%%02X", static_cast<unsigned char>(c));
            uri += escaped;
        } else {
            uri += c;
        }
    }
    return uri;
}

namespace {

// The first bytes of every SQLite file.
bool hasSqliteHeader(const std::string& path) {
    char header[16] = {};
    FILE* file = OpenFile(path, "rb");
    if (file == nullptr)
        return true; // cannot tell: leave the verdict to SQLite
    const size_t got = std::fread(header, 1, sizeof header, file);
    std::fclose(file);
    return got == sizeof header && std::memcmp(header, "SQLite format 3", 16) == 0;
}

// A -shm or -wal of path that exists and this user may not write: SQLite
// cannot work with the file then, and says only "readonly" or "unable to open".
std::string unwritableLockFile(const std::string& path) {
    for (const char* suffix : {"-shm", "-wal"}) {
        const std::string lockFile = path + suffix;
        std::error_code ec;
        if (std::filesystem::exists(FsPath(lockFile), ec) && !MayWrite(lockFile))
            return lockFile;
    }
    return {};
}

} // namespace

SqliteDb::SqliteDb(const std::string& path, OpenMode mode) : m_path(path), m_mode(mode) {
    std::error_code ec;
    if (std::filesystem::is_directory(FsPath(path), ec))
        throw Error(Error::Kind::NotOurs, path + ": is a folder, not a history file");
    open(sqliteUri(path) + (mode == OpenMode::ReadOnly ? "?mode=ro" : ""),
         mode == OpenMode::ReadOnly ? SQLITE_OPEN_READONLY
                                    : SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE);
}

void SqliteDb::open(const std::string& uri, int flags) {
    const int rc =
        sqlite3_open_v2(uri.c_str(), &m_db, flags | SQLITE_OPEN_URI | SQLITE_OPEN_NOMUTEX, nullptr);
    if (rc != SQLITE_OK) {
        const std::string message = m_db != nullptr ? sqlite3_errmsg(m_db) : sqlite3_errstr(rc);
        sqlite3_close(m_db);
        m_db = nullptr;
        throw Error(kindOf(rc), m_path + ": " + message);
    }
    sqlite3_extended_result_codes(m_db, 1);
    // Before the first statement: a program creating the file at the same
    // moment holds it for a while.
    sqlite3_busy_timeout(m_db, BUSY_TIMEOUT_MS);
}

void SqliteDb::reopenImmutable() {
    sqlite3_close_v2(m_db);
    m_db = nullptr;
    open(sqliteUri(m_path) + "?immutable=1", SQLITE_OPEN_READONLY);
}

void SqliteDb::keepLogOnClose() {
    sqlite3_db_config(m_db, SQLITE_DBCONFIG_NO_CKPT_ON_CLOSE, 1, nullptr);
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
    if ((rc & 0xFF) == SQLITE_NOTADB && !hasSqliteHeader(m_path))
        throw Error(Error::Kind::NotOurs, m_path + ": not an SQLite file, so not a Tarvex history");
    const bool fileWritable = MayWrite(m_path);
    if (m_mode == OpenMode::ReadWrite && fileWritable &&
        (kind == Error::Kind::ReadOnly || kind == Error::Kind::CannotOpen ||
         (rc & 0xFF) == SQLITE_IOERR)) {
        const std::string lockFile = unwritableLockFile(m_path);
        if (!lockFile.empty())
            throw Error(Error::Kind::LockFiles,
                        lockFile + ": left behind, and this user may not write it: " + message);
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

Statement& Statement::bindValue(int index, const sqlite3_value* value) {
    sqlite3_bind_value(m_stmt, index, value);
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

std::string Statement::text(int column) const {
    const auto* data = reinterpret_cast<const char*>(sqlite3_column_text(m_stmt, column));
    return data != nullptr
               ? std::string(data, static_cast<size_t>(sqlite3_column_bytes(m_stmt, column)))
               : std::string();
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
