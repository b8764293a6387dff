// One download as the history sees it, the same for the dialog and the
// headless reader: with "only new records", the scan that reads from the
// newest record back until one the history holds, and the merge at the
// results step. The front ends only put the outcomes into words.
//
// The scan needs no position arithmetic: whether the ring came round once or
// more, the archive was cleared or another instrument is on the cable, the
// records it reads are exactly those the history lacks. It ends at
// - a record the history holds (read, merged again, not written),
// - a run of slots never written (32 zero bytes, EMPTY_RUN_END in a row): the
//   stretch of the ring the instrument has not reached yet, so no older record;
//   a lone never-written slot between records is read past, as nothing
//   promises the records beyond it are old,
// - the whole ring (2000), or the cap the user gave.
#pragma once

#include <memory>
#include <optional>
#include <string>

#include "archive/download_sequence.h"
#include "history/download_history.h"

namespace history {

// Never-written slots in a row that end a scan.
constexpr int EMPTY_RUN_END = 8;

// What a scan read. The numbers front ends show after an only-new download.
struct ScanResult {
    enum class End {
        KnownRecord, // met a record the history holds
        EmptySlot,   // met a run of slots never written
        WholeRing,   // read all 2000 without meeting either
        Cap,         // stopped at the cap the user gave
    };
    End end = End::WholeRing;
    int read = 0;       // records read, the known one or the empty run it ended on included
    int newRecords = 0; // records the history lacked: the ones written to the file
    // The whole ring was new, and the history has downloads through this
    // device: the instrument may have written more than 2000 records since,
    // and the older ones are gone.
    bool mayHaveLost = false;
};

class DownloadSession : public RecordScan {
public:
    // path empty: no history this run (nothing is looked up or merged).
    // scanLimit: the most records an only-new download reads (the cap).
    DownloadSession(std::string path, bool onlyNew, int scanLimit = ArchiveSlotCount);
    ~DownloadSession() override;

    const std::string& path() const { return m_path; }

    // Before the download: with only-new, opens the history to look records
    // up in. The failure, if it cannot be read, is returned; the scan then
    // knows no record and reads the whole ring (or up to the cap).
    // A shared history that cannot be reached is no failure: the scan looks
    // records up in this PC's history file instead (sharedAway says why).
    std::optional<HistoryFailure> prepare(const std::string& device);
    const std::optional<HistoryFailure>& sharedAway() const { return m_sharedAway; }
    // What prepare sent to the shared history of what waited on this PC.
    const ReplayTally& pushedBeforeScan() const { return m_pushed; }
    const std::string& pushProblemBeforeScan() const { return m_pushProblem; }
    // The scan the download is to run, or null for the usual download.
    RecordScan* scan();

    Plan StartScan(int position) override;
    bool ScanGoesOn(const ArchiveRecord& record) override;

    // At the results step: nCount records read are in g_records, oldest
    // first. After a scan, moves the new ones to the front and returns their
    // number (0: nothing new, no file); otherwise returns nCount.
    int takeRecords(int nCount);
    // After takeRecords of a scan.
    const ScanResult& scanResult() const { return m_result; }

    // Logs the download (position: the archive position it was told) and
    // merges g_records[0..nCount-1] and the known record the scan ended with.
    // Nothing without a path or records.
    std::optional<MergeReport> merge(int nCount, const std::string& port, const std::string& device,
                                     int position);

private:
    std::optional<HistoryFailure> lookUpDevice(const std::string& device);

    std::string m_path;
    bool m_onlyNew;
    int m_scanLimit;
    std::unique_ptr<RecordStore> m_store; // open during a scan
    bool m_deviceKnown = false;           // the history has downloads through the device
    std::optional<int> m_lastPosition;    // where the last of them ended
    bool m_scanned = false;
    ScanResult m_result;
    int m_emptyRun = 0; // never-written slots read last, in a row
    std::optional<ArchiveRecord> m_knownRecord;
    std::optional<std::int64_t> m_instrument; // the one holding m_knownRecord
    std::optional<HistoryFailure> m_sharedAway;
    bool m_lookedUpLocally = false; // the shared history was away: this PC's file was asked
    ReplayTally m_pushed;           // sent to the shared history before the scan
    std::string m_pushProblem;
};

} // namespace history
