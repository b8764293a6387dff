// Downloads that this PC's history file keeps for a shared history which
// could not be reached (or refused the connection): each is marked before it
// is merged here, and unmarked only once the shared history holds it.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <string>

namespace history {

class SqliteDb;

class PendingDownloads {
public:
    // Opens the history file at path, creating it (and bringing its layout
    // up to date) when needed. Throws Error.
    explicit PendingDownloads(const std::string& path);
    ~PendingDownloads();

    void mark(const std::string& token, std::int64_t since);
    void unmark(const std::string& token);
    // Each waiting download's token and when it was marked.
    std::map<std::string, std::int64_t> tokens();

private:
    std::unique_ptr<SqliteDb> m_db;
};

// How many downloads wait in the file at path: 0 when there is no such file
// or it cannot be read (nothing can wait in it then).
std::int64_t pendingCount(const std::string& path);

} // namespace history
