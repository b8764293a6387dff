#include "history/pending_downloads.h"

#include <filesystem>
#include <system_error>

#include "history/history_file.h"
#include "history/sqlite_db.h"
#include "platform/file_names.h"

namespace history {

PendingDownloads::PendingDownloads(const std::string& path)
    : m_db(std::make_unique<SqliteDb>(path, OpenMode::ReadWrite)) {
    prepareForWriting(*m_db);
}

PendingDownloads::~PendingDownloads() = default;

void PendingDownloads::mark(const std::string& token, std::int64_t since) {
    Statement insert(*m_db, "INSERT OR IGNORE INTO pending(token, since) VALUES(?, ?)");
    insert.bind(1, token).bind(2, since);
    insert.step();
}

void PendingDownloads::unmark(const std::string& token) {
    Statement remove(*m_db, "DELETE FROM pending WHERE token = ?");
    remove.bind(1, token);
    remove.step();
}

std::map<std::string, std::int64_t> PendingDownloads::tokens() {
    std::map<std::string, std::int64_t> tokens;
    Statement query(*m_db, "SELECT token, since FROM pending");
    while (query.step())
        tokens.emplace(query.text(0), query.integer(1));
    return tokens;
}

std::int64_t pendingCount(const std::string& path) {
    std::error_code ec;
    if (path.empty() || !std::filesystem::is_regular_file(FsPath(path), ec))
        return 0;
    try {
        SqliteDb db(path, OpenMode::ReadOnly);
        // An older layout has no such table: nothing waits there.
        if (!prepareForReading(db))
            return 0;
        return queryInteger(db, "SELECT count(*) FROM pending").value_or(0);
    } catch (const Error&) {
        return 0;
    }
}

} // namespace history
