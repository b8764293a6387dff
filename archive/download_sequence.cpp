// The archive download, one request and one reply at a time. No phase is
// stored: each reply is acted on by its reply code while the link is ready,
// and each step places the command whose reply drives the next step.
#include "archive/download_sequence.h"

#include <algorithm>
#include <cstring>

#include "archive/archive_record.h"
#include "link/frame.h"
#include "link/instrument_link.h"
#include "platform/codepage.h"

int16_t g_nRecordSlot = 0;
int16_t g_nRequestIndex = 0;
char g_szStatusSuffix[120] = {};

namespace {

constexpr int MIN_RECORD_COUNT = 1;
constexpr int MAX_RECORD_COUNT = ArchiveSlotCount;

// Bytes each step reads from its reply; a shorter reply is ignored.
constexpr unsigned POSITION_REPLY_BYTES = 5;
constexpr unsigned EMPTY_CELL_REPLY_BYTES = sizeof(EmptyCellTable);
constexpr unsigned RECORD_REPLY_BYTES = 4 + sizeof(ArchiveRecord);

bool IsValidCount(int n) {
    return n >= MIN_RECORD_COUNT && n <= MAX_RECORD_COUNT;
}

} // namespace

DownloadSequence::DownloadSequence(InstrumentLink& link, DownloadHost& host)
    : m_link(link), m_host(host) {}

int DownloadSequence::SendCommand(int code, uint16_t parameter) {
    uint8_t frame[8];
    const int length = BuildCommandFrame(frame, code, parameter);
    // A request still waiting in the mailbox is never overwritten; it drives
    // the sequence on when its reply comes.
    return m_link.PlaceRequest(frame, length, m_nReplyTimeout);
}

int DownloadSequence::CurrentCount() {
    const int n = m_host.RecordCount();
    // A count typed mid-download that the start would refuse is not used: the
    // store has 2000 slots and the writer needs 1..2000.
    return IsValidCount(n) ? n : m_nAcceptedCount;
}

void DownloadSequence::OnReadArchive() {
    const int32_t state = m_link.m_nLinkState.load(std::memory_order_acquire);
    if (state != LINK_READY && state != LINK_NO_ANSWER)
        return;
    const int n = m_host.RecordCount();
    if (!IsValidCount(n)) {
        m_host.ShowMessage(Utf8ToCp1251("Неправильно введено количество записей (1...2000)"));
        return;
    }
    // A click that finds the previous request still in the mailbox is dropped.
    if (!SendCommand(CMD_READ_POSITION))
        return;
    m_nAcceptedCount = n;
    m_pRunningScan = m_pScan;
    m_bScanEnded = false;
    const std::string suffix = Utf8ToCp1251("  Подождите идет чтение файла.");
    std::memset(g_szStatusSuffix, 0, sizeof g_szStatusSuffix);
    std::memcpy(g_szStatusSuffix, suffix.data(),
                std::min(suffix.size(), sizeof g_szStatusSuffix - 1));
}

int DownloadSequence::OnLinkReply(unsigned length, const uint8_t* bytes) {
    // Copy first: the link may hand over further replies meanwhile.
    uint8_t reply[FRAME_MAX_LENGTH] = {};
    const unsigned count = (bytes != nullptr && length <= sizeof reply) ? length : 0;
    if (count > 0)
        std::memcpy(reply, bytes, count);
    // While the results file is being written the store is being read: a stray
    // record reply arriving then must not overwrite slot 0 under the writer.
    if (count == 0 && m_link.DeviceGone() && !m_bWriting) {
        // The download is over for good: nothing is being read any more.
        std::memset(g_szStatusSuffix, 0, sizeof g_szStatusSuffix);
        return 0;
    }
    if (m_bWriting || count < 3)
        return 0;
    if (m_link.m_nLinkState.load(std::memory_order_acquire) != LINK_READY)
        return 0;
    // A reply that comes while the next request still waits in the mailbox
    // cannot answer it: that request has not gone out yet.
    if (m_link.m_bTxRequest.load(std::memory_order_acquire) != 0)
        return 0;

    switch (reply[2]) {
    case CMD_READ_POSITION:
        if (count >= POSITION_REPLY_BYTES)
            OnPositionReply(reply);
        break;
    case CMD_READ_EMPTY_CELLS:
        if (count >= EMPTY_CELL_REPLY_BYTES)
            OnEmptyCellReply(reply);
        break;
    case CMD_READ_RECORD:
        if (count >= RECORD_REPLY_BYTES) {
            if (m_pRunningScan != nullptr)
                OnScanRecordReply(reply);
            else
                OnRecordReply(reply);
        }
        break;
    default:
        break;
    }
    return 0;
}

void DownloadSequence::OnPositionReply(const uint8_t* reply) {
    const auto position = static_cast<int16_t>(reply[3] | (reply[4] << 8));
    m_nPosition = position;
    if (m_pRunningScan != nullptr) {
        if (m_bScanEnded)
            return; // a late copy after the end: the scan may be gone
        m_scanPlan = m_pRunningScan->StartScan(position);
        m_scanPlan.limit = std::clamp(m_scanPlan.limit, MIN_RECORD_COUNT, MAX_RECORD_COUNT);
        m_scanPlan.expected = std::clamp(m_scanPlan.expected, MIN_RECORD_COUNT, m_scanPlan.limit);
        // The newest record is the one before the position, in the ring.
        g_nRequestIndex = static_cast<int16_t>(
            ((position - 1) % ArchiveSlotCount + ArchiveSlotCount) % ArchiveSlotCount);
        g_nRecordSlot = 0;
        SendCommand(CMD_READ_EMPTY_CELLS);
        return;
    }
    // The difference wraps at 16 bits; only a negative result is brought
    // into the ring here, later advances wrap at 1999.
    auto first = static_cast<int16_t>(position - CurrentCount());
    if (first < 0)
        first = static_cast<int16_t>(first + ArchiveSlotCount);
    g_nRequestIndex = first;
    g_nRecordSlot = 0;
    SendCommand(CMD_READ_EMPTY_CELLS);
}

void DownloadSequence::OnEmptyCellReply(const uint8_t* reply) {
    std::memcpy(g_emptyCells.bytes, reply, sizeof g_emptyCells.bytes);
    SendCommand(CMD_READ_RECORD, static_cast<uint16_t>(g_nRequestIndex));
}

void DownloadSequence::OnRecordReply(const uint8_t* reply) {
    const int n = CurrentCount();
    // The end test below keeps the slot under n; this also holds when a late
    // duplicate lands after the count was lowered.
    if (g_nRecordSlot < 0 || g_nRecordSlot >= ArchiveSlotCount)
        g_nRecordSlot = 0;
    std::memcpy(g_records[g_nRecordSlot].bytes, reply + 4, sizeof(ArchiveRecord));
    m_host.SetProgressRange(0, n);
    ++g_nRecordSlot;
    m_host.SetProgressPos(g_nRecordSlot);
    if (g_nRecordSlot < n) {
        ++g_nRequestIndex;
        if (g_nRequestIndex > ArchiveSlotCount - 1)
            g_nRequestIndex = 0;
        SendCommand(CMD_READ_RECORD, static_cast<uint16_t>(g_nRequestIndex));
        return;
    }
    EndDownload(n);
}

void DownloadSequence::OnScanRecordReply(const uint8_t* reply) {
    if (m_bScanEnded)
        return;
    if (g_nRecordSlot < 0 || g_nRecordSlot >= m_scanPlan.limit)
        g_nRecordSlot = 0;
    ArchiveRecord& record = g_records[g_nRecordSlot];
    std::memcpy(record.bytes, reply + 4, sizeof(ArchiveRecord));
    const bool goesOn = m_pRunningScan->ScanGoesOn(record);
    ++g_nRecordSlot;
    if (g_nRecordSlot > m_scanPlan.expected)
        m_scanPlan.expected = m_scanPlan.limit; // more than the last download suggests
    if (goesOn && g_nRecordSlot < m_scanPlan.limit) {
        m_host.SetProgressRange(0, m_scanPlan.expected);
        m_host.SetProgressPos(g_nRecordSlot);
        if (--g_nRequestIndex < 0)
            g_nRequestIndex = ArchiveSlotCount - 1;
        SendCommand(CMD_READ_RECORD, static_cast<uint16_t>(g_nRequestIndex));
        return;
    }
    const int nCount = g_nRecordSlot;
    m_host.SetProgressRange(0, nCount);
    m_host.SetProgressPos(nCount);
    // Read newest first; the results and the history take them in slot order.
    std::reverse(g_records, g_records + nCount);
    m_bScanEnded = true;
    EndDownload(nCount);
}

void DownloadSequence::EndDownload(int nCount) {
    // Order matters: the writer may run a modal dialog that re-enters
    // OnLinkReply, which must then find the download closed.
    SendCommand(CMD_PRESENCE);
    g_nRecordSlot = 0;
    m_bWriting = 1;
    m_host.WriteResultsFile(nCount);
    m_bWriting = 0;
    g_nRequestIndex = 1;
}
