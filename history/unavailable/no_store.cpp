// A build without SQLite (TARVEX_HISTORY off, so far the Windows one): every
// opening of the history fails, so the programs warn and carry on without it.
#include "history/history_care.h"
#include "history/pending_downloads.h"
#include "history/record_store.h"
#include "history/server_location.h"
#include "history/server_store.h"

namespace history {

std::unique_ptr<RecordStore> openHistory(const std::string& path, OpenMode mode) {
    if (isServerHistory(path))
        return openServerHistory(path, mode);
    throw Error(Error::Kind::CannotOpen,
                path + ": the measurement history is not part of this build");
}

// No history is ever found damaged here, so nothing is ever set aside.
std::string setAside(const std::string& path) {
    throw Error(Error::Kind::CannotOpen,
                path + ": the measurement history is not part of this build");
}

// Nothing can wait in a history that cannot be opened.
class SqliteDb {};

PendingDownloads::PendingDownloads(const std::string& path) {
    throw Error(Error::Kind::CannotOpen,
                path + ": the measurement history is not part of this build");
}

PendingDownloads::~PendingDownloads() = default;
void PendingDownloads::mark(const std::string&, std::int64_t) {}
void PendingDownloads::unmark(const std::string&) {}
std::map<std::string, std::int64_t> PendingDownloads::tokens() {
    return {};
}

std::int64_t pendingCount(const std::string&) {
    return 0;
}

} // namespace history
