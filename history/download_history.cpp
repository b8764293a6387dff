#include "history/download_history.h"

#include <cstring>

#include "history/history_location.h"
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

void mergeIntoFile(MergeReport& report, const std::string& path, const DownloadEntry& download,
                   std::span<const ArchiveRecord> records, bool waiting) {
    report.failure = prepareFolder(path);
    if (report.failure)
        return;
    try {
        if (waiting) {
            report.outcome = keepWaiting(path, download, records);
            report.waitsIn = path;
        } else {
            report.outcome =
                openHistory(path, OpenMode::ReadWrite)->mergeDownload(download, records);
            report.description = path;
        }
    } catch (const Error& error) {
        report.failure = failureOf(error);
    } catch (const std::exception& error) {
        report.failure = HistoryFailure{Error::Kind::Other, path + ": " + error.what()};
    }
}

} // namespace

std::unique_ptr<RecordStore> openForMerging(const std::string& location, ReplayTally& pushed,
                                            std::string& pushProblem) {
    auto store = openHistory(location, OpenMode::ReadWrite);
    const std::string local = localHistoryPath();
    if (!isServerHistory(location) || local.empty())
        return store;
    // A local file that cannot be read must not keep new downloads from the
    // shared history; a shared one gone meanwhile shows in the merge after.
    try {
        pushed = pushWaiting(local, *store);
    } catch (const std::exception& error) {
        pushProblem = error.what();
    }
    return store;
}

MergeReport mergeIntoHistory(const std::string& location, const DownloadEntry& download,
                             std::span<const ArchiveRecord> records) {
    MergeReport report;
    if (!isServerHistory(location)) {
        mergeIntoFile(report, location, download, records, false);
        return report;
    }
    try {
        auto store = openForMerging(location, report.pushed, report.pushProblem);
        report.outcome = store->mergeDownload(download, records);
        report.description = store->describe();
        return report;
    } catch (const Error& error) {
        report.sharedFailure = failureOf(error);
    } catch (const std::exception& error) {
        report.sharedFailure = HistoryFailure{Error::Kind::Other, error.what()};
    }
    // Whatever kept it from the shared history, the download is not lost:
    // it waits here, and the message says why and what to do.
    report.outcome.reset();
    mergeIntoFile(report, localHistoryPath(), download, records, true);
    return report;
}

std::string portName(int port) {
    return "COM" + std::to_string(port);
}

} // namespace history
