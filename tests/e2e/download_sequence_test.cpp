// The download sequence against a link that is never started: the test
// plays the worker (takes each request out of the mailbox) and the
// instrument (answers it from an archive of its own).
#include "archive/download_sequence.h"

#include <cstring>
#include <functional>
#include <gtest/gtest.h>
#include <string>
#include <vector>

#include "archive/archive_record.h"
#include "link/frame.h"
#include "link/instrument_link.h"
#include "platform/codepage.h"

namespace {

class FakeHost : public DownloadHost {
public:
    int RecordCount() override { return m_nCount; }
    void ShowMessage(const std::string& textCp1251) override { m_messages.push_back(textCp1251); }
    void SetProgressRange(int lower, int upper) override {
        m_nRangeLower = lower;
        m_nRangeUpper = upper;
    }
    void SetProgressPos(int pos) override { m_nPos = pos; }
    void WriteResultsFile(int nCount) override {
        m_writes.push_back(nCount);
        if (m_onWrite)
            m_onWrite();
    }

    int m_nCount = 100;
    std::vector<std::string> m_messages;
    int m_nRangeLower = -1, m_nRangeUpper = -1, m_nPos = -1;
    std::vector<int> m_writes;
    std::function<void()> m_onWrite;
};

std::vector<uint8_t> Frame(std::vector<uint8_t> body) {
    body[1] = static_cast<uint8_t>(body.size() + 2);
    body.resize(body.size() + 2);
    AppendChecksum(body.data(), static_cast<int>(body.size()) - 2);
    return body;
}

std::vector<uint8_t> Truncated(std::vector<uint8_t> v, size_t n) {
    v.resize(n);
    return v;
}

std::vector<uint8_t> PositionReply(uint8_t lo, uint8_t hi) {
    return Frame({1, 0, 11, lo, hi});
}

std::vector<uint8_t> EmptyCellReply(uint8_t fill) {
    std::vector<uint8_t> body(56, fill);
    body[0] = 1;
    body[2] = 12;
    return Frame(body);
}

// Record content tells which index it was requested for.
std::vector<uint8_t> RecordReply(uint16_t index) {
    std::vector<uint8_t> body(36, 0);
    body[0] = 1;
    body[2] = 10;
    body[4] = static_cast<uint8_t>(index & 0xFF);
    body[5] = static_cast<uint8_t>(index >> 8);
    body[8] = 0x01;
    body[35] = 0xA5;
    return Frame(body);
}

uint16_t IndexInSlot(int slot) {
    return static_cast<uint16_t>(g_records[slot].bytes[0] | (g_records[slot].bytes[1] << 8));
}

class DownloadSequenceTest : public ::testing::Test {
protected:
    void SetUp() override {
        std::memset(g_records, 0, sizeof g_records);
        std::memset(&g_emptyCells, 0, sizeof g_emptyCells);
        std::memset(g_szStatusSuffix, 0, sizeof g_szStatusSuffix);
        g_nRecordSlot = 0;
        g_nRequestIndex = 0;
    }

    // The frame in the mailbox, taken out as the worker would; empty if none.
    std::vector<uint8_t> Take() {
        if (m_link.m_bTxRequest.load() == 0)
            return {};
        std::vector<uint8_t> frame(m_link.m_txBuffer,
                                   m_link.m_txBuffer + m_link.m_nTxLength.load());
        EXPECT_EQ(m_link.m_nReplyTimeout.load(), m_seq.m_nReplyTimeout);
        m_link.m_bTxRequest.store(0);
        m_frames.push_back(frame);
        return frame;
    }

    void Deliver(const std::vector<uint8_t>& reply) {
        m_link.m_nLinkState.store(LINK_READY);
        EXPECT_EQ(m_seq.OnLinkReply(static_cast<unsigned>(reply.size()), reply.data()), 0);
    }

    // Answers requests until the closing frame (or maxReplies) as an
    // instrument at position (lo, hi) would.
    void Serve(uint8_t lo, uint8_t hi, int maxReplies = 1 << 30,
               const std::function<void(int)>& afterRecord = {}) {
        int records = 0;
        for (int i = 0; i < maxReplies; ++i) {
            std::vector<uint8_t> f = Take();
            if (f.empty() || f[2] == CMD_PRESENCE)
                return;
            if (f[2] == CMD_READ_POSITION)
                Deliver(PositionReply(lo, hi));
            else if (f[2] == CMD_READ_EMPTY_CELLS)
                Deliver(EmptyCellReply(0x3C));
            else if (f[2] == CMD_READ_RECORD) {
                m_requested.push_back(static_cast<uint16_t>(f[3] | (f[4] << 8)));
                Deliver(RecordReply(m_requested.back()));
                if (afterRecord)
                    afterRecord(++records);
            }
        }
    }

    InstrumentLink m_link;
    FakeHost m_host;
    DownloadSequence m_seq{m_link, m_host};
    std::vector<std::vector<uint8_t>> m_frames;
    std::vector<uint16_t> m_requested;
};

struct IndexCase {
    uint8_t lo, hi;
    int count;
    std::vector<uint16_t> head; // the first requested indices
    uint16_t last;              // the index requested last
};

class IndexArithmetic : public DownloadSequenceTest,
                        public ::testing::WithParamInterface<IndexCase> {};

TEST_P(IndexArithmetic, RequestsTheRingBackwardsFromThePositionAndFillsSlotsInOrder) {
    const IndexCase& c = GetParam();
    m_host.m_nCount = c.count;
    m_seq.OnReadArchive();
    EXPECT_STREQ(g_szStatusSuffix, Utf8ToCp1251("  Подождите идет чтение файла.").c_str());
    Serve(c.lo, c.hi);

    ASSERT_EQ(static_cast<int>(m_requested.size()), c.count);
    for (size_t i = 0; i < c.head.size(); ++i)
        EXPECT_EQ(m_requested[i], c.head[i]) << "request " << i;
    EXPECT_EQ(m_requested.back(), c.last);
    for (int k = 0; k < c.count; ++k)
        ASSERT_EQ(IndexInSlot(k), m_requested[k]) << "slot " << k;

    // N + 3 frames, the exact bytes of the first two and the last.
    ASSERT_EQ(static_cast<int>(m_frames.size()), c.count + 3);
    EXPECT_EQ(m_frames.front(), (std::vector<uint8_t>{1, 5, 11, 17, 0}));
    EXPECT_EQ(m_frames[1], (std::vector<uint8_t>{1, 5, 12, 18, 0}));
    EXPECT_EQ(m_frames.back(), (std::vector<uint8_t>{1, 5, 255, 5, 1}));
    EXPECT_EQ(m_host.m_writes, std::vector<int>{c.count});
    EXPECT_EQ(m_host.m_nRangeUpper, c.count);
    EXPECT_EQ(m_host.m_nPos, c.count);
    EXPECT_EQ(g_nRecordSlot, 0);
    EXPECT_EQ(g_nRequestIndex, 1);
    EXPECT_EQ(g_emptyCells.bytes[2], 12);
    EXPECT_EQ(g_emptyCells.bytes[55], 0x3C);
}

INSTANTIATE_TEST_SUITE_P(
    Positions, IndexArithmetic,
    ::testing::Values(IndexCase{150, 0, 100, {50, 51}, 149},           // 150 - 100
                      IndexCase{30, 0, 100, {1930, 1931}, 29},         // wraps to 0
                      IndexCase{0, 0, 2000, {0, 1, 2}, 1999},          // no wrap
                      IndexCase{0xCF, 0x07, 2000, {1999, 0, 1}, 1998}, // 1999
                      IndexCase{0xFF, 0xFF, 50, {1949, 1950}, 1998},   // -1 as signed
                      IndexCase{0x34, 0x08, 50, {2050, 0, 1}, 48},     // 2100: beyond
                      IndexCase{0, 0, 1, {1999}, 1999},                // count 1 at 0
                      IndexCase{0x00, 0x80, 100, {32668, 0, 1}, 98})   // 16-bit wrap
);

TEST_F(DownloadSequenceTest, StartRefusesBadCountsAndBusyLink) {
    const std::string refusal = Utf8ToCp1251("Неправильно введено количество записей (1...2000)");
    for (int32_t state : {LINK_READY, LINK_NO_ANSWER}) {
        for (int n : {0, 2001, -1, -32768, 100000}) {
            g_szStatusSuffix[0] = '\0';
            m_link.m_nLinkState.store(state);
            m_host.m_nCount = n;
            m_host.m_messages.clear();
            m_seq.OnReadArchive();
            EXPECT_EQ(m_host.m_messages, std::vector<std::string>{refusal}) << n;
            EXPECT_TRUE(Take().empty());
            EXPECT_EQ(g_szStatusSuffix[0], '\0');
        }
        for (int n : {1, 2000}) {
            m_link.m_nLinkState.store(state);
            m_host.m_nCount = n;
            m_seq.OnReadArchive();
            EXPECT_EQ(Take(), (std::vector<uint8_t>{1, 5, 11, 17, 0})) << n;
        }
    }
    // A request in flight: nothing at all, even with a bad count.
    m_host.m_messages.clear();
    for (int32_t state : {LINK_SENT, LINK_RETRY}) {
        for (int n : {0, 100}) {
            m_link.m_nLinkState.store(state);
            m_host.m_nCount = n;
            m_seq.OnReadArchive();
            EXPECT_TRUE(Take().empty());
        }
    }
    EXPECT_TRUE(m_host.m_messages.empty());
}

TEST_F(DownloadSequenceTest, ClickWhileTheMailboxIsFullLeavesThePendingRequest) {
    m_seq.OnReadArchive();
    Serve(150, 0, 2); // the first record request now waits in the mailbox
    ASSERT_EQ(m_link.m_bTxRequest.load(), 1);
    const std::vector<uint8_t> pending(m_link.m_txBuffer, m_link.m_txBuffer + 7);
    m_seq.OnReadArchive();
    EXPECT_EQ(std::vector<uint8_t>(m_link.m_txBuffer, m_link.m_txBuffer + 7), pending);
    EXPECT_EQ(m_link.m_nTxLength.load(), 7);
    // The pending request drives the download on to its end.
    Serve(150, 0);
    EXPECT_EQ(m_host.m_writes, std::vector<int>{100});
}

TEST_F(DownloadSequenceTest, ShortRepliesAreIgnored) {
    m_seq.OnReadArchive();
    Take();
    const std::vector<std::vector<uint8_t>> shortReplies = {
        {1, 7, 11, 50}, // position needs 5 bytes
        Truncated(EmptyCellReply(7), 55),
        Truncated(RecordReply(3), 35),
        {1, 5},
    };
    g_nRequestIndex = 77;
    g_nRecordSlot = 5;
    for (const auto& r : shortReplies) {
        Deliver(r);
        EXPECT_TRUE(Take().empty());
    }
    EXPECT_EQ(m_seq.OnLinkReply(0, nullptr), 0);
    EXPECT_EQ(g_nRequestIndex, 77);
    EXPECT_EQ(g_nRecordSlot, 5);
    EXPECT_EQ(g_emptyCells.bytes[0], 0);
    EXPECT_EQ(g_records[5].bytes[4], 0);
}

TEST_F(DownloadSequenceTest, OtherCodesAndOtherStatesChangeNothing) {
    g_nRequestIndex = 33;
    g_nRecordSlot = 4;
    for (uint8_t code : {255, 13, 0}) {
        for (int32_t state : {LINK_SENT, LINK_READY, LINK_RETRY, LINK_NO_ANSWER}) {
            std::vector<uint8_t> reply = RecordReply(9);
            reply[2] = code;
            m_link.m_nLinkState.store(state);
            m_seq.OnLinkReply(static_cast<unsigned>(reply.size()), reply.data());
        }
    }
    // The steps' own codes do nothing while the link is not ready.
    for (int32_t state : {LINK_SENT, LINK_RETRY, LINK_NO_ANSWER}) {
        for (const auto& reply : {PositionReply(1, 0), EmptyCellReply(1), RecordReply(1)}) {
            m_link.m_nLinkState.store(state);
            m_seq.OnLinkReply(static_cast<unsigned>(reply.size()), reply.data());
        }
    }
    EXPECT_TRUE(Take().empty());
    EXPECT_EQ(g_nRequestIndex, 33);
    EXPECT_EQ(g_nRecordSlot, 4);
    EXPECT_EQ(g_records[4].bytes[35 - 4], 0);
    EXPECT_EQ(g_emptyCells.bytes[0], 0);
    EXPECT_EQ(m_host.m_nPos, -1);
}

struct CountChange {
    int after;    // records stored when the count changes
    int newCount; // what the user typed
    int written;  // the count the writer gets (and records requested)
};

class CountChangedMidDownload : public DownloadSequenceTest,
                                public ::testing::WithParamInterface<CountChange> {};

TEST_P(CountChangedMidDownload, EndsOnAValidCountAndOtherwiseKeepsTheAcceptedOne) {
    const CountChange& c = GetParam();
    m_seq.OnReadArchive();
    Serve(150, 0, 1 << 30, [&](int k) {
        if (k == c.after)
            m_host.m_nCount = c.newCount;
    });
    EXPECT_EQ(m_host.m_writes, std::vector<int>{c.written});
    EXPECT_EQ(static_cast<int>(m_requested.size()),
              c.written < c.after + 1 ? c.after + 1 : c.written);
    EXPECT_EQ(m_host.m_nRangeUpper, c.written);
    EXPECT_EQ(m_frames.back()[2], CMD_PRESENCE);
}

INSTANTIATE_TEST_SUITE_P(Counts, CountChangedMidDownload,
                         ::testing::Values(CountChange{10, 60, 60},    // lowered, still ahead
                                           CountChange{10, 150, 150},  // raised
                                           CountChange{70, 50, 50},    // already passed
                                           CountChange{10, 0, 100},    // refused: keep 100
                                           CountChange{10, 5000, 100}, // refused: keep 100
                                           CountChange{10, -3, 100}));

TEST_F(DownloadSequenceTest, SecondDownloadAfterAStoppedOneFillsFromSlotZero) {
    m_seq.OnReadArchive();
    Serve(0xE8, 0x03, 42); // position 1000: 40 records of 900.. are in
    ASSERT_EQ(g_nRecordSlot, 40);
    Take(); // the 41st request is never answered
    m_link.m_nLinkState.store(LINK_NO_ANSWER);
    m_seq.OnLinkReply(0, nullptr);
    EXPECT_TRUE(Take().empty());
    EXPECT_EQ(m_host.m_nPos, 40);
    EXPECT_TRUE(m_host.m_writes.empty());

    m_requested.clear();
    m_seq.OnReadArchive(); // accepted in LINK_NO_ANSWER
    Serve(150, 0);
    EXPECT_EQ(m_host.m_writes, std::vector<int>{100});
    for (int k = 0; k < 100; ++k)
        ASSERT_EQ(IndexInSlot(k), 50 + k) << k;
}

TEST_F(DownloadSequenceTest, RepliesDuringTheWriteAreIgnoredAndCountersResetAfter) {
    m_host.m_nCount = 5;
    bool checked = false;
    m_host.m_onWrite = [&] {
        // The closing frame is already placed and the slot reset.
        EXPECT_EQ(m_link.m_txBuffer[2], CMD_PRESENCE);
        EXPECT_EQ(g_nRecordSlot, 0);
        const uint16_t first = IndexInSlot(0);
        Deliver(Frame({1, 0, 255}));
        Deliver(RecordReply(1234)); // a late duplicate
        Deliver(PositionReply(9, 0));
        m_link.m_nLinkState.store(LINK_NO_ANSWER);
        m_seq.OnLinkReply(0, nullptr);
        EXPECT_EQ(IndexInSlot(0), first);
        EXPECT_EQ(m_link.m_txBuffer[2], CMD_PRESENCE);
        checked = true;
    };
    m_seq.OnReadArchive();
    Serve(100, 0);
    EXPECT_TRUE(checked);
    EXPECT_EQ(g_nRequestIndex, 1);
    EXPECT_EQ(g_nRecordSlot, 0);
}

} // namespace
