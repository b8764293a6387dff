#include "history/history_care.h"

#include <cstdio>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <sqlite3.h>

#include "history/history_file.h"
#include "history/record_store.h"
#include "history/sqlite_db.h"
#include "history/sqlite_instruments.h"
#include "platform/atomic_file.h"
#include "platform/file_names.h"

namespace history {

namespace {

// How often a scan past a damaged place tries again further on (the step
// doubles each time, so this reaches past any id).
constexpr int MAX_SKIPS = 62;

std::string stamp() {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    char text[32];
    std::strftime(text, sizeof text, "%Y%m%d-%H%M%S", &local);
    return text;
}

bool exists(const std::string& path) {
    std::error_code ec;
    return std::filesystem::exists(FsPath(path), ec);
}

std::vector<std::string> columnsOf(SqliteDb& db, const std::string& table) {
    std::vector<std::string> columns;
    Statement info(db, "SELECT name FROM pragma_table_info(?)");
    info.bind(1, table);
    while (info.step())
        columns.push_back(info.text(0));
    return columns;
}

bool hasRowid(SqliteDb& db, const std::string& table) {
    sqlite3_stmt* probe = nullptr;
    const int rc = sqlite3_prepare_v2(db.handle(), ("SELECT rowid FROM \"" + table + "\"").c_str(),
                                      -1, &probe, nullptr);
    sqlite3_finalize(probe);
    return rc == SQLITE_OK;
}

// Copies the readable rows of table in `from` into `to`, in key order,
// stepping past places that cannot be read. Returns the rows copied. Two
// connections: a damaged page met while reading never touches the write.
std::int64_t copyReadable(SqliteDb& from, SqliteDb& to, const std::string& table,
                          int& damagedPlaces) {
    std::vector<std::string> present;
    try {
        present = columnsOf(from, table);
    } catch (const Error&) {
        ++damagedPlaces;
        return 0;
    }
    std::string columns, marks;
    for (const std::string& column : columnsOf(to, table))
        for (const std::string& have : present)
            if (have == column) {
                columns += (columns.empty() ? "\"" : ", \"") + column + "\"";
                marks += marks.empty() ? "?" : ", ?";
            }
    if (columns.empty())
        return 0;
    // sightings has no rowid: its key's first column orders it well enough.
    const std::string key = hasRowid(from, table) ? "rowid" : "\"" + present.front() + "\"";
    const std::string quoted = "\"" + table + "\"";
    Statement insert(
        to,
        ("INSERT OR IGNORE INTO " + quoted + "(" + columns + ") VALUES(" + marks + ")").c_str());
    const std::string select = "SELECT " + key + ", " + columns + " FROM " + quoted + " WHERE " +
                               key + " > ? ORDER BY " + key;
    std::int64_t copied = 0;
    std::int64_t last = INT64_MIN;
    std::int64_t skip = 1;
    for (int attempt = 0; attempt <= MAX_SKIPS; ++attempt) {
        sqlite3_stmt* read = nullptr;
        if (sqlite3_prepare_v2(from.handle(), select.c_str(), -1, &read, nullptr) != SQLITE_OK) {
            sqlite3_finalize(read);
            ++damagedPlaces;
            return copied;
        }
        sqlite3_bind_int64(read, 1, last);
        int rc;
        while ((rc = sqlite3_step(read)) == SQLITE_ROW) {
            last = sqlite3_column_int64(read, 0);
            skip = 1;
            insert.reset();
            for (int column = 1; column < sqlite3_column_count(read); ++column)
                insert.bindValue(column, sqlite3_column_value(read, column));
            try {
                insert.step();
                ++copied;
            } catch (const Error& error) {
                if (error.kind() == Error::Kind::DiskFull)
                    throw;
                ++damagedPlaces; // a row whose values were damaged too
            }
        }
        sqlite3_finalize(read);
        if (rc == SQLITE_DONE)
            return copied;
        ++damagedPlaces;
        if (skip > INT64_MAX / 2 || (last != INT64_MIN && last > INT64_MAX - skip))
            return copied; // past any id
        last = last == INT64_MIN ? skip : last + skip;
        skip *= 2;
    }
    return copied;
}

void renameOrThrow(const std::string& from, const std::string& to) {
    std::error_code ec;
    std::filesystem::rename(FsPath(from), FsPath(to), ec);
    if (ec)
        throw Error(Error::Kind::CannotOpen,
                    from + ": cannot be renamed to " + to + ": " + ec.message());
}

} // namespace

CheckReport checkHistory(const std::string& path) {
    CheckReport report;
    SqliteDb db(path, OpenMode::ReadOnly);
    prepareForReading(db);
    try {
        Statement check(db, "PRAGMA integrity_check(20)");
        while (check.step())
            if (const std::string line = check.text(0); line != "ok")
                report.problems.push_back(line);
    } catch (const Error& error) {
        if (error.kind() != Error::Kind::Corrupt)
            throw;
        report.problems.push_back(error.what());
    }
    return report;
}

std::string setAside(const std::string& path) {
    std::string aside = path + ".damaged-" + stamp();
    for (int n = 2; exists(aside) || exists(aside + "-wal"); ++n)
        aside = path + ".damaged-" + stamp() + "-" + std::to_string(n);
    // The -wal first: a program opening path meanwhile finds no stray log.
    for (const char* suffix : {"-wal", "-shm"})
        if (exists(path + suffix))
            renameOrThrow(path + suffix, aside + suffix);
    renameOrThrow(path, aside);
    return aside;
}

RecoverReport recoverHistory(const std::string& path) {
    RecoverReport report;
    const std::string fresh = path + ".recovering";
    auto removeFresh = [&] { // this program's own files, never the user's
        std::error_code ec;
        for (const char* suffix : {"", "-wal", "-shm"})
            std::filesystem::remove(FsPath(fresh + suffix), ec);
    };
    removeFresh();
    try {
        SqliteDb damaged(path, OpenMode::ReadOnly);
        prepareForReading(damaged); // only a Tarvex history, however damaged
        SqliteDb db(fresh, OpenMode::ReadWrite);
        prepareForWriting(db);
        db.exec("BEGIN IMMEDIATE");
        std::vector<std::string> tables;
        {
            Statement names(db, "SELECT name FROM sqlite_schema WHERE type = 'table' AND "
                                "name NOT LIKE 'sqlite_%' ORDER BY rootpage");
            while (names.step())
                tables.push_back(names.text(0));
        }
        for (const std::string& table : tables) {
            const std::int64_t copied = copyReadable(damaged, db, table, report.damagedPlaces);
            if (table == "records")
                report.records = copied;
            else if (table == "downloads")
                report.downloads = copied;
        }
        // Rows whose instrument was lost with a damaged page (or a file of an
        // older layout) still belong to one.
        fillMissingInstruments(db);
        db.exec("COMMIT");
    } catch (...) {
        removeFresh();
        throw;
    } // closed: the new file's log is folded into it and removed
    report.setAsideAs = setAside(path);
    renameOrThrow(fresh, path);
    return report;
}

std::string backupHistory(const std::string& path, const BackupTarget& target) {
    SqliteDb db(path, OpenMode::ReadOnly);
    prepareForReading(db);
    AtomicFile file(target.path,
                    target.replace ? ReplacePolicy::Replace : ReplacePolicy::KeepExisting);
    FileStatus status = file.OpenStatus();
    if (!status.Ok())
        return target.path + ": " + status.Reason();
    try {
        // One read transaction: the copy is the history as it was at its start.
        Statement copy(db, "VACUUM INTO ?");
        copy.bind(1, file.TempPath());
        copy.step();
    } catch (const Error& error) {
        return target.path + ": " + error.what();
    }
    status = file.Commit();
    return status.Ok() ? std::string() : target.path + ": " + status.Reason();
}

} // namespace history
