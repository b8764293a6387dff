#include "history/history_replay.h"

#include <ctime>
#include <map>
#include <set>

#include "history/download_token.h"
#include "history/pending_downloads.h"

namespace history {

namespace {

constexpr std::int64_t STALE_MARK_SECONDS = 3600;

std::set<std::string> loggedTokens(RecordStore& store) {
    std::set<std::string> tokens;
    store.forEachDownload([&](std::int64_t, const DownloadEntry& entry) {
        tokens.insert(downloadToken(entry));
        return true;
    });
    return tokens;
}

// Gives the target's instruments the source's names, once each.
class NameCarrier {
public:
    NameCarrier(RecordStore& from, RecordStore& into, ReplayTally& tally)
        : m_into(into), m_tally(tally) {
        for (const InstrumentInfo& info : from.instruments())
            if (!info.name.empty())
                m_sourceNames.emplace(info.id, info.name);
    }

    void carry(std::int64_t source, std::int64_t target) {
        const auto name = m_sourceNames.find(source);
        if (name == m_sourceNames.end() || target == 0 || !m_handled.insert(target).second)
            return;
        for (const InstrumentInfo& info : m_into.instruments()) {
            if (info.id == target && !info.name.empty())
                return; // the target's own name stands
        }
        try {
            m_into.nameInstrument(target, name->second);
            ++m_tally.named;
        } catch (const Error&) {
            m_tally.namesTaken.push_back(name->second);
        }
    }

private:
    RecordStore& m_into;
    ReplayTally& m_tally;
    std::map<std::int64_t, std::string> m_sourceNames;
    std::set<std::int64_t> m_handled; // target instruments seen
};

} // namespace

ReplayTally replayDownloads(RecordStore& from, RecordStore& into, const ReplayHooks& hooks) {
    ReplayTally tally;
    struct Chosen {
        std::int64_t id;
        DownloadEntry entry;
        std::string token;
    };
    std::vector<Chosen> chosen;
    from.forEachDownload([&](std::int64_t id, const DownloadEntry& entry) {
        std::string token = downloadToken(entry);
        if (!hooks.chosen || hooks.chosen(token))
            chosen.push_back({id, entry, std::move(token)});
        return true;
    });
    if (chosen.empty())
        return tally;
    std::set<std::string> logged = loggedTokens(into);
    NameCarrier names(from, into, tally);
    int handled = 0;
    for (Chosen& download : chosen) {
        if (!logged.insert(download.token).second) {
            ++tally.knownDownloads;
        } else {
            const std::optional<std::int64_t> sourceInstrument = download.entry.instrument;
            // An instrument's number belongs to one history: the target tells
            // it by the records.
            download.entry.instrument.reset();
            const std::vector<ArchiveRecord> records = from.downloadRecords(download.id);
            const MergeOutcome outcome = into.mergeDownload(download.entry, records);
            ++tally.downloads;
            tally.added += outcome.added;
            tally.known += outcome.known;
            if (sourceInstrument)
                names.carry(*sourceInstrument, outcome.instrumentId);
        }
        if (hooks.done)
            hooks.done(download.token);
        if (hooks.progress)
            hooks.progress(++handled, static_cast<int>(chosen.size()));
    }
    return tally;
}

ReplayTally pushWaiting(const std::string& localPath, RecordStore& shared,
                        const std::function<void(int, int)>& progress) {
    if (pendingCount(localPath) == 0)
        return {};
    PendingDownloads pending(localPath);
    std::map<std::string, std::int64_t> waiting = pending.tokens();
    auto local = openHistory(localPath, OpenMode::ReadWrite);
    ReplayHooks hooks;
    hooks.chosen = [&](const std::string& token) { return waiting.count(token) != 0; };
    hooks.done = [&](const std::string& token) {
        pending.unmark(token);
        waiting.erase(token);
    };
    hooks.progress = progress;
    const ReplayTally tally = replayDownloads(*local, shared, hooks);
    // Marks whose merge here never went in: nothing to send. A younger one
    // may belong to a merge going on in another program right now.
    const std::int64_t stale = static_cast<std::int64_t>(std::time(nullptr)) - STALE_MARK_SECONDS;
    for (const auto& [token, since] : waiting)
        if (since < stale)
            pending.unmark(token);
    return tally;
}

MergeOutcome keepWaiting(const std::string& localPath, const DownloadEntry& download,
                         std::span<const ArchiveRecord> records) {
    PendingDownloads(localPath).mark(downloadToken(download), std::time(nullptr));
    return openHistory(localPath, OpenMode::ReadWrite)->mergeDownload(download, records);
}

} // namespace history
