#include "history/download_history.h"

#include <cstring>

#include "history/history_path.h"
#include "history/server_location.h"

namespace history {

namespace {

HistoryFailure failureOf(const Error& error) {
    return HistoryFailure{error.kind(), error.what()};
}

std::optional<HistoryFailure> prepareFolder(const std::string& path) {
    if (isServerHistory(path))
        return std::nullopt; // no folder of ours: the server keeps it
    if (path.empty())
        return HistoryFailure{Error::Kind::CannotOpen,
                              "no place for the history: neither HOME nor XDG_DATA_HOME is set"};
    if (const int error = ensureParentFolder(path))
        return HistoryFailure{Error::Kind::CannotOpen,
                              path + ": cannot create its folder: " + std::strerror(error)};
    return std::nullopt;
}

} // namespace

MergeReport mergeIntoHistory(const std::string& path, const DownloadEntry& download,
                             std::span<const ArchiveRecord> records) {
    MergeReport report;
    report.failure = prepareFolder(path);
    if (report.failure)
        return report;
    try {
        auto store = openHistory(path, OpenMode::ReadWrite);
        report.outcome = store->mergeDownload(download, records);
    } catch (const Error& error) {
        report.failure = failureOf(error);
    } catch (const std::exception& error) {
        report.failure = HistoryFailure{Error::Kind::Other, path + ": " + error.what()};
    }
    return report;
}

std::string portName(int port) {
    return "COM" + std::to_string(port);
}

} // namespace history
