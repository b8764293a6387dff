#include "history/download_session.h"

#include <algorithm>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <vector>

#include "archive/archive_record.h"
#include "history/history_location.h"
#include "history/history_path.h"
#include "history/server_location.h"
#include "platform/file_names.h"

namespace history {

namespace {

bool neverWritten(const ArchiveRecord& record) {
    return std::all_of(std::begin(record.bytes), std::end(record.bytes),
                       [](std::uint8_t byte) { return byte == 0; });
}

// The scan only looks records up: a history it may not write still tells
// what is new (the merge then says it was not updated).
std::unique_ptr<RecordStore> openForLookUp(const std::string& path) {
    try {
        return openHistory(path, OpenMode::ReadWrite);
    } catch (const Error& error) {
        if (error.kind() != Error::Kind::ReadOnly)
            throw;
        return openHistory(path, OpenMode::ReadOnly);
    }
}

} // namespace

DownloadSession::DownloadSession(std::string path, bool onlyNew, int scanLimit)
    : m_path(std::move(path)), m_onlyNew(onlyNew),
      m_scanLimit(std::clamp(scanLimit, 1, ArchiveSlotCount)) {}

DownloadSession::~DownloadSession() = default;

std::optional<HistoryFailure> DownloadSession::prepare(const std::string& device) {
    m_store.reset();
    m_deviceKnown = false;
    m_lastPosition.reset();
    m_scanned = false;
    m_result = {};
    m_knownRecord.reset();
    m_instrument.reset();
    m_sharedAway.reset();
    m_lookedUpLocally = false;
    m_pushed = {};
    m_pushProblem.clear();
    if (!m_onlyNew || m_path.empty())
        return std::nullopt;
    std::string lookUpIn = m_path;
    if (isServerHistory(m_path)) {
        // What waited on this PC goes first, so that the scan knows it.
        try {
            m_store = openForMerging(m_path, m_pushed, m_pushProblem);
        } catch (const Error& error) {
            m_sharedAway = HistoryFailure{error.kind(), error.what()};
        } catch (const std::exception& error) {
            m_sharedAway = HistoryFailure{Error::Kind::Other, error.what()};
        }
        if (m_store)
            return lookUpDevice(device);
        // Away: this PC's history knows what it has kept, the downloads
        // that wait for the shared one among them.
        lookUpIn = localHistoryPath();
        m_lookedUpLocally = true;
    }
    std::error_code ec;
    if (lookUpIn.empty() || !std::filesystem::exists(FsPath(lookUpIn), ec))
        return std::nullopt; // a history not made yet holds nothing
    try {
        m_store = openForLookUp(lookUpIn);
    } catch (const Error& error) {
        m_store.reset();
        return HistoryFailure{error.kind(), error.what()};
    } catch (const std::exception& error) {
        m_store.reset();
        return HistoryFailure{Error::Kind::Other, lookUpIn + ": " + error.what()};
    }
    return lookUpDevice(device);
}

std::optional<HistoryFailure> DownloadSession::lookUpDevice(const std::string& device) {
    try {
        if (const auto last = m_store->lastDownload(device)) {
            m_deviceKnown = true;
            m_lastPosition = last->position;
        }
    } catch (const Error& error) {
        m_store.reset();
        return HistoryFailure{error.kind(), error.what()};
    } catch (const std::exception& error) {
        m_store.reset();
        return HistoryFailure{Error::Kind::Other, error.what()};
    }
    return std::nullopt;
}

RecordScan* DownloadSession::scan() {
    return m_onlyNew && !m_path.empty() ? this : nullptr;
}

RecordScan::Plan DownloadSession::StartScan(int position) {
    m_scanned = true;
    m_result = {};
    m_emptyRun = 0;
    Plan plan{m_scanLimit, m_scanLimit};
    // Where the last download through this cable ended: likely, not certain.
    if (m_lastPosition)
        plan.expected = ((position - *m_lastPosition) % ArchiveSlotCount + ArchiveSlotCount) %
                            ArchiveSlotCount +
                        1;
    return plan;
}

bool DownloadSession::ScanGoesOn(const ArchiveRecord& record) {
    ++m_result.read;
    if (neverWritten(record)) {
        if (++m_emptyRun >= EMPTY_RUN_END || m_result.read == ArchiveSlotCount) {
            m_result.end = ScanResult::End::EmptySlot;
            return false;
        }
    } else {
        m_emptyRun = 0;
    }
    if (m_store && record.IsReportable()) {
        try {
            if (const auto instrument = m_store->instrumentHolding(record)) {
                m_result.end = ScanResult::End::KnownRecord;
                m_knownRecord = record;
                m_instrument = instrument;
                return false;
            }
        } catch (const Error&) {
            m_store.reset(); // read on as if it held nothing: more is read, nothing lost
        }
    }
    m_result.end =
        m_result.read < ArchiveSlotCount ? ScanResult::End::Cap : ScanResult::End::WholeRing;
    return true;
}

int DownloadSession::takeRecords(int nCount) {
    if (!m_scanned)
        return nCount;
    m_store.reset(); // the merge opens its own
    m_result.mayHaveLost = m_result.end == ScanResult::End::WholeRing && m_deviceKnown;
    // The oldest records read are the known one or the empty run: not new.
    const int nOld = m_result.end == ScanResult::End::KnownRecord ? 1
                     : m_result.end == ScanResult::End::EmptySlot ? m_emptyRun
                                                                  : 0;
    if (nOld > 0) {
        const int nOldHere = std::min(nOld, nCount);
        std::memmove(&g_records[0], &g_records[nOldHere],
                     sizeof(ArchiveRecord) * static_cast<std::size_t>(nCount - nOldHere));
        nCount -= nOldHere;
    }
    // Slots of kinds the history never keeps are read again every time: with
    // no record beside them they are nothing new.
    if (std::none_of(g_records, g_records + nCount,
                     [](const ArchiveRecord& record) { return record.IsReportable(); }))
        nCount = 0;
    m_result.newRecords = nCount;
    return nCount;
}

std::optional<MergeReport> DownloadSession::merge(int nCount, const std::string& port,
                                                  const std::string& device, int position) {
    if (m_path.empty() || nCount < 1)
        return std::nullopt;
    DownloadEntry entry;
    entry.time = std::time(nullptr);
    entry.port = port;
    entry.device = device;
    entry.position = position;
    entry.emptyCells = g_emptyCells;
    entry.lastRecord = g_records[nCount - 1];
    // An instrument's number belongs to the history it was found in; the
    // shared one, back meanwhile, tells it by the known record.
    if (!m_lookedUpLocally)
        entry.instrument = m_instrument;
    std::vector<ArchiveRecord> records;
    if (m_knownRecord)
        records.push_back(*m_knownRecord);
    records.insert(records.end(), g_records, g_records + nCount);
    entry.count = static_cast<int>(records.size());
    return mergeIntoHistory(m_path, entry, records);
}

} // namespace history
