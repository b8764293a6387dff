// The download sequence against a link that is never started: the test plays
// the front end, the worker (takes each request out of the mailbox) and the
// instrument (answers it from an archive of its own).
#include "archive/download_sequence.h"

#include <algorithm>
#include <cstring>
#include <functional>
#include <gtest/gtest.h>

#include "archive/archive_record.h"
#include "link/frame.h"
#include "link/instrument_link.h"
#include "platform/codepage.h"

namespace {

using Bytes = std::vector<uint8_t>;

// A reply of size bytes before the checksum, filled with 0x3C, with value
// little-endian at offset at (the position, or a record's own index).
Bytes Reply(uint8_t code, size_t size, size_t at = 3, uint16_t value = 0x3C3C) {
    Bytes frame(size + 2, 0x3C);
    frame[0] = 1;
    frame[1] = static_cast<uint8_t>(size + 2);
    frame[2] = code;
    frame[at] = static_cast<uint8_t>(value);
    frame[at + 1] = static_cast<uint8_t>(value >> 8);
    AppendChecksum(frame.data(), static_cast<int>(size));
    return frame;
}

class DownloadSequenceTest : public testing::Test, public DownloadHost {
protected:
    // The count as typed: m_nTyped once more than m_nTypedAfter records were requested.
    int RecordCount() override {
        return static_cast<int>(m_requested.size()) > m_nTypedAfter ? m_nTyped : m_nCount;
    }
    void ShowMessage(const std::string& textCp1251) override { m_messages.push_back(textCp1251); }
    void SetProgressRange(int, int upper) override { m_nRangeUpper = upper; }
    void SetProgressPos(int pos) override { m_nPos = pos; }
    void WriteResultsFile(int nCount) override {
        m_writes.push_back(nCount);
        if (m_onWrite)
            m_onWrite();
    }

    void SetUp() override {
        std::memset(g_records, 0, sizeof g_records);
        std::memset(&g_emptyCells, 0, sizeof g_emptyCells);
    }

    // The frame in the mailbox, taken out as the worker would; empty if none.
    Bytes Take() {
        if (m_link.m_bTxRequest.load() == 0)
            return {};
        m_frames.emplace_back(m_link.m_txBuffer, m_link.m_txBuffer + m_link.m_nTxLength.load());
        m_timeouts.push_back(m_link.m_nReplyTimeout.load());
        m_link.m_bTxRequest.store(0);
        return m_frames.back();
    }

    void Deliver(const Bytes& reply) {
        m_link.m_nLinkState.store(LINK_READY);
        EXPECT_EQ(m_seq.OnLinkReply(static_cast<unsigned>(reply.size()), reply.data()), 0);
    }

    // Answers requests as an instrument at this position would, until the
    // closing frame or maxReplies.
    void Serve(uint16_t position, int maxReplies = 1 << 30) {
        for (int i = 0; i < maxReplies; ++i) {
            const Bytes f = Take();
            if (f.empty() || f[2] == CMD_PRESENCE)
                return;
            if (f[2] == CMD_READ_RECORD)
                m_requested.push_back(static_cast<uint16_t>(f[3] | (f[4] << 8)));
            Deliver(f[2] == CMD_READ_RECORD     ? Reply(f[2], 36, 4, m_requested.back())
                    : f[2] == CMD_READ_POSITION ? Reply(f[2], 5, 3, position)
                                                : Reply(f[2], 56));
        }
    }

    // Starts a download with this count as the user has it, from a clean slate.
    void Start(int nCount) {
        m_nCount = nCount;
        m_writes.clear();
        m_frames.clear();
        m_timeouts.clear();
        m_requested.clear();
        m_seq.OnReadArchive();
    }

    int m_nCount = 100, m_nTypedAfter = 1 << 30, m_nTyped = 0, m_nRangeUpper = -1, m_nPos = -1;
    std::vector<std::string> m_messages;
    std::vector<int> m_writes;
    std::function<void()> m_onWrite;
    InstrumentLink m_link;
    DownloadSequence m_seq{m_link, *this};
    std::vector<Bytes> m_frames;
    std::vector<int> m_timeouts; // the reply time-out placed with each frame, in ms
    std::vector<uint16_t> m_requested;
};

TEST_F(DownloadSequenceTest, RequestsTheRingFromPositionMinusCountAndFillsSlotsInOrder) {
    // Position, count, the indices requested first and last.
    const int rows[][4] = {{150, 100, 50, 149},
                           {30, 100, 1930, 29},
                           {1999, 2000, 1999, 1998},
                           {0xFFFF, 50, 1949, 1998}, // -1 as a signed position
                           {2100, 50, 2050, 48},     // beyond the ring
                           {0, 1, 1999, 1999},
                           // Position at the count and one to either side of it.
                           {100, 100, 0, 99},
                           {99, 100, 1999, 98},
                           {101, 100, 1, 100}};
    for (const auto& [nPosition, nCount, nFirst, nLast] : rows) {
        SCOPED_TRACE(testing::Message() << nPosition << "/" << nCount);
        Start(nCount);
        EXPECT_STREQ(g_szStatusSuffix, Utf8ToCp1251("  Подождите идет чтение файла.").c_str());
        Serve(static_cast<uint16_t>(nPosition));
        ASSERT_EQ(static_cast<int>(m_requested.size()), nCount);
        EXPECT_EQ(m_requested.front(), nFirst);
        EXPECT_EQ(m_requested.back(), nLast);
        for (int k = 0; k < nCount; ++k) {
            if (k > 0) { // each next index, past 1999 back to 0
                ASSERT_EQ(m_requested[k], m_requested[k - 1] >= 1999 ? 0 : m_requested[k - 1] + 1);
            }
            ASSERT_EQ((g_records[k].bytes[0] | g_records[k].bytes[1] << 8), m_requested[k])
                << "slot " << k;
        }
        ASSERT_EQ(static_cast<int>(m_frames.size()), nCount + 3);
        EXPECT_EQ(m_timeouts, std::vector<int>(m_frames.size(), 3000)) << "each command waits 3 s";
        EXPECT_EQ(m_frames[0], (Bytes{1, 5, 11, 17, 0}));
        EXPECT_EQ(m_frames[1], (Bytes{1, 5, 12, 18, 0}));
        EXPECT_EQ(m_frames.back(), (Bytes{1, 5, 255, 5, 1}));
        // Progress range and position, the counters reset, the cells stored.
        EXPECT_EQ(m_writes, std::vector<int>{nCount});
        EXPECT_EQ((std::vector<int>{m_nRangeUpper, m_nPos, g_nRecordSlot, g_nRequestIndex,
                                    g_emptyCells.bytes[55]}),
                  (std::vector<int>{nCount, nCount, 0, 1, 0x3C}));
    }
}

TEST_F(DownloadSequenceTest, StartRefusesBadCountsAndIgnoresClicksWhileBusy) {
    const std::string refusal = Utf8ToCp1251("Неправильно введено количество записей (1...2000)");
    for (int32_t state : {LINK_READY, LINK_NO_ANSWER, LINK_SENT, LINK_RETRY}) {
        for (int n : {0, 2001, -1, 100}) {
            SCOPED_TRACE(testing::Message() << "state " << state << " count " << n);
            const bool bIdle = state == LINK_READY || state == LINK_NO_ANSWER;
            m_link.m_nLinkState.store(state);
            m_messages.clear();
            Start(n);
            EXPECT_EQ(m_messages, std::vector<std::string>(bIdle && n != 100 ? 1 : 0, refusal));
            EXPECT_EQ(Take(), (bIdle && n == 100 ? Bytes{1, 5, 11, 17, 0} : Bytes{}));
        }
    }
}

TEST_F(DownloadSequenceTest, ShortRepliesAndOtherCodesChangeNothing) {
    Start(100);
    Take();
    g_nRequestIndex = 77;
    g_nRecordSlot = 5;
    // Cut three bytes short: the first four are a byte short of what their step reads.
    for (Bytes reply : {Reply(11, 5), Reply(12, 56), Reply(10, 36), Bytes{1, 5, 0, 0, 0},
                        Reply(255, 56), Reply(13, 56), Reply(0, 56)}) {
        reply.resize(reply.size() - 3);
        Deliver(reply);
    }
    EXPECT_TRUE(Take().empty());
    EXPECT_EQ((std::vector<int>{g_nRequestIndex, g_nRecordSlot, g_emptyCells.bytes[55],
                                g_records[5].bytes[31], m_nPos}),
              (std::vector<int>{77, 5, 0, 0, -1}));
}

TEST_F(DownloadSequenceTest, CountChangedMidDownloadIsUsedOnlyWhenValid) {
    // Records stored when the count changes, what the user typed, what the writer gets.
    const int rows[][3] = {{10, 60, 60}, {10, 150, 150},  {70, 50, 50},
                           {10, 0, 100}, {10, 5000, 100}, {10, -3, 100}};
    for (const auto& [nAfter, nTyped, nWritten] : rows) {
        SCOPED_TRACE(nTyped);
        Start(100);
        m_nTypedAfter = nAfter;
        m_nTyped = nTyped;
        Serve(150);
        EXPECT_EQ(m_writes, std::vector<int>{nWritten});
        EXPECT_EQ(static_cast<int>(m_requested.size()), std::max(nAfter + 1, nWritten));
    }
}

TEST_F(DownloadSequenceTest, SecondDownloadAfterAStoppedOneFillsFromSlotZero) {
    Start(100);
    Serve(1000, 42); // position, cells and 40 records of 900..
    ASSERT_EQ(g_nRecordSlot, 40);
    Take(); // the 41st request is never answered
    m_link.m_nLinkState.store(LINK_NO_ANSWER);
    m_seq.OnLinkReply(0, nullptr);
    EXPECT_TRUE(Take().empty());
    EXPECT_TRUE(m_writes.empty());

    // A stray record reply while the file is written must not overwrite slot 0.
    m_onWrite = [&] { Deliver(Reply(CMD_READ_RECORD, 36, 4, 1234)); };
    Start(100); // accepted after no answer
    Serve(150);
    EXPECT_EQ(m_writes, std::vector<int>{100});
    for (int k = 0; k < 100; ++k)
        ASSERT_EQ((g_records[k].bytes[0] | g_records[k].bytes[1] << 8), 50 + k) << k;
}

// Only new records: newest first until the scan has what it wants, then the
// records in slot order; a late copy after the end asks the scan nothing.
struct StopAtSlot : RecordScan {
    int limit = 2000, stopAt = -1, asked = 0;
    Plan StartScan(int) override { return {limit, limit}; }
    bool ScanGoesOn(const ArchiveRecord& record) override {
        ++asked;
        return (record.bytes[0] | record.bytes[1] << 8) != stopAt;
    }
};

TEST_F(DownloadSequenceTest, ScanReadsNewestFirstAndHandsOverInSlotOrder) {
    StopAtSlot scan;
    // Position, stop slot, limit; the records read.
    const int rows[][4] = {{30, 1990, 2000, 40}, {500, -1, 25, 25}, {0, -1, 2000, 2000}};
    for (const auto& [nPosition, nStopAt, nLimit, nRead] : rows) {
        SCOPED_TRACE(nPosition);
        scan.stopAt = nStopAt;
        scan.limit = nLimit;
        scan.asked = 0;
        m_seq.SetScan(&scan);
        Start(100);
        Serve(static_cast<uint16_t>(nPosition));
        ASSERT_EQ(m_writes, std::vector<int>{nRead});
        ASSERT_EQ(static_cast<int>(m_requested.size()), nRead);
        for (int k = 0; k < nRead; ++k) {
            const int slot = (nPosition - nRead + k + 2000) % 2000;
            ASSERT_EQ(m_requested[nRead - 1 - k], slot);
            ASSERT_EQ((g_records[k].bytes[0] | g_records[k].bytes[1] << 8), slot) << k;
        }
        EXPECT_EQ(m_nPos, nRead);
        Deliver(Reply(CMD_READ_RECORD, 36, 4, 7)); // a late copy
        Deliver(Reply(CMD_READ_POSITION, 5, 3, 9));
        EXPECT_EQ(scan.asked, nRead);
        EXPECT_TRUE(Take().empty());
    }
    m_seq.SetScan(nullptr);
    Start(10);
    Serve(500);
    EXPECT_EQ(m_requested.front(), 490); // the usual download again
}

} // namespace
