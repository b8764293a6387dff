// Drives the download sequence with arbitrary replies, link states and record
// counts (also counts changed between replies) against a link that is never
// started. Each reply is copied into a heap buffer of exactly its length, so
// AddressSanitizer reports any read past the delivered bytes; the record
// store is a global, so a write past slot 1999 is reported as well.
//
// Input: a list of operations, each led by one byte (low 2 bits):
//   0  link state: the next byte, taken modulo 5 (4 is an unknown value)
//   1  record count: the next 2 bytes as a signed 16-bit number
//   2  reply: the next byte is its length (0..255), then that many bytes;
//      bit 2 of the operation byte forces the reply code of the step the
//      sequence waits for, so deep downloads are reached quickly
//   3  the Read-archive click
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>

#include "archive/archive_record.h"
#include "archive/download_sequence.h"
#include "fuzz/fuzz_check.h"
#include "link/frame.h"
#include "link/instrument_link.h"

namespace {

class FuzzHost : public DownloadHost {
public:
    int m_nCount = 100;
    int m_nFilesWritten = 0;

    int RecordCount() override { return m_nCount; }
    void ShowMessage(const std::string&) override {}
    void SetProgressRange(int lower, int upper) override {
        FUZZ_CHECK(lower == 0 && upper >= 1 && upper <= ArchiveSlotCount);
    }
    void SetProgressPos(int pos) override { FUZZ_CHECK(pos >= 1 && pos <= ArchiveSlotCount); }
    void WriteResultsFile(int nCount) override {
        FUZZ_CHECK(nCount >= 1 && nCount <= ArchiveSlotCount);
        // Touch the last slot the writer would read.
        volatile uint8_t last = g_records[nCount - 1].bytes[31];
        (void)last;
        ++m_nFilesWritten;
    }
};

// The frame in the mailbox must be a whole command frame with a right checksum.
void CheckMailbox(const InstrumentLink& link) {
    const int length = link.m_nTxLength.load();
    FUZZ_CHECK(length == 5 || length == 7);
    const uint8_t* frame = link.m_txBuffer;
    FUZZ_CHECK(frame[0] == 1 && frame[1] == length);
    unsigned sum = 0;
    for (int i = 0; i < length - 2; ++i)
        sum += frame[i];
    FUZZ_CHECK(frame[length - 2] == (sum & 0xFF) && frame[length - 1] == ((sum >> 8) & 0xFF));
    const int code = frame[2];
    FUZZ_CHECK(code == CMD_READ_POSITION || code == CMD_READ_EMPTY_CELLS ||
               code == CMD_READ_RECORD || code == CMD_PRESENCE);
    FUZZ_CHECK((code == CMD_READ_RECORD) == (length == 7));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // One link for the whole run: it is never started, only its mailbox is used.
    static InstrumentLink s_link;
    s_link.m_bTxRequest.store(0);
    s_link.m_nLinkState.store(LINK_READY);
    g_nRecordSlot = 0;
    g_nRequestIndex = 0;

    FuzzHost host;
    DownloadSequence sequence(s_link, host);
    sequence.m_nReplyTimeout = 100;
    int nextCode = CMD_READ_POSITION; // what the last placed request asked for

    size_t pos = 0;
    while (pos < size) {
        const uint8_t op = data[pos++];
        switch (op & 3) {
        case 0:
            if (pos < size)
                s_link.m_nLinkState.store(data[pos++] % 5);
            break;
        case 1:
            if (pos + 2 <= size) {
                host.m_nCount = static_cast<int16_t>(data[pos] | (data[pos + 1] << 8));
                pos += 2;
            }
            break;
        case 2: {
            if (pos >= size)
                break;
            size_t length = data[pos++];
            if (length > size - pos)
                length = size - pos;
            std::unique_ptr<uint8_t[]> reply;
            if (length > 0) {
                reply.reset(new uint8_t[length]);
                std::memcpy(reply.get(), data + pos, length);
                if ((op & 4) && length > 2)
                    reply[2] = static_cast<uint8_t>(nextCode);
            }
            pos += length;
            // The worker takes the request out of the mailbox before it answers.
            s_link.m_bTxRequest.store(0);
            sequence.OnLinkReply(static_cast<unsigned>(length), reply.get());
            break;
        }
        case 3:
            sequence.OnReadArchive();
            break;
        }
        FUZZ_CHECK(g_nRecordSlot >= 0 && g_nRecordSlot < ArchiveSlotCount);
        if (s_link.m_bTxRequest.load()) {
            CheckMailbox(s_link);
            nextCode = s_link.m_txBuffer[2];
        }
    }
    return 0;
}
