#include "sim_instrument.h"

#include "sim_frames.h"

#include <algorithm>
#include <string>
#include <unistd.h>

namespace {

constexpr uint8_t CODE_RECORD = 10;
constexpr uint8_t CODE_POSITION = 11;
constexpr uint8_t CODE_EMPTY_CELLS = 12;
constexpr uint8_t CODE_PRESENCE = 255;
constexpr int RECORD_REPLY_LENGTH = 38;
constexpr int POSITION_REPLY_LENGTH = 7;

} // namespace

std::vector<uint8_t> BuildReply(const std::vector<uint8_t>& request, const SimArchive& archive,
                                int nPosition) {
    const int nLength = static_cast<int>(request.size());
    const uint8_t nCode = request[2];
    std::vector<uint8_t> reply;
    if (nCode == CODE_PRESENCE && nLength == 5) {
        reply = request; // the instrument shows itself by echoing the frame
    } else if (nCode == CODE_POSITION && nLength == 5) {
        reply = {SIM_LEAD_BYTE,
                 POSITION_REPLY_LENGTH,
                 CODE_POSITION,
                 static_cast<uint8_t>(nPosition & 0xFF),
                 static_cast<uint8_t>((nPosition >> 8) & 0xFF),
                 0,
                 0};
        SimAppendChecksum(reply.data(), POSITION_REPLY_LENGTH - 2);
    } else if (nCode == CODE_EMPTY_CELLS && nLength == 5) {
        reply.assign(archive.m_cellBlock.begin(), archive.m_cellBlock.end());
    } else if (nCode == CODE_RECORD && nLength == 7) {
        // Indices beyond the ring wrap around it; byte 3 echoes the low byte asked for.
        const int nIndex = (request[3] | request[4] << 8) % SIM_RECORD_COUNT;
        reply.resize(RECORD_REPLY_LENGTH);
        reply[0] = SIM_LEAD_BYTE;
        reply[1] = RECORD_REPLY_LENGTH;
        reply[2] = CODE_RECORD;
        reply[3] = request[3];
        const auto& record = archive.m_records[nIndex];
        std::copy(record.begin(), record.end(), reply.begin() + 4);
        SimAppendChecksum(reply.data(), RECORD_REPLY_LENGTH - 2);
    }
    return reply;
}

SimInstrument::SimInstrument(const SimOptions& options, const SimArchive& archive, int nLogFd)
    : m_options(options), m_archive(archive), m_nLogFd(nLogFd),
      m_output(options.m_bPacing ? SIM_BYTE_NS : 0), m_noiseRandom(options.m_nSeed ^ 0x5EEDULL),
      m_faults(options) {}

void SimInstrument::Log(const std::vector<uint8_t>& request) const {
    if (m_nLogFd < 0)
        return;
    static const char HEX[] = "0123456789abcdef";
    std::string szLine;
    for (uint8_t nByte : request) {
        if (!szLine.empty())
            szLine += ' ';
        szLine += HEX[nByte >> 4];
        szLine += HEX[nByte & 0x0F];
    }
    szLine += '\n';
    // One write per line on an O_APPEND descriptor: a reader never sees half a line.
    [[maybe_unused]] const ssize_t nWritten = write(m_nLogFd, szLine.data(), szLine.size());
}

void SimInstrument::OnRequest(const std::vector<uint8_t>& request, int64_t nArrivedNs) {
    Log(request);
    if (m_options.m_bSilent)
        return;
    std::vector<uint8_t> reply = BuildReply(request, m_archive, m_options.m_nPosition);
    if (reply.empty())
        return;
    if (request[2] == CODE_PRESENCE && m_nPresenceIgnored < m_options.m_nPresenceAfter) {
        ++m_nPresenceIgnored;
        return;
    }
    const int64_t nNumber = ++m_nReplyCount;
    auto every = [nNumber](int nK) { return nK > 0 && nNumber % nK == 0; };
    const SimFault fault = m_faults.Next(nNumber);
    if (every(m_options.m_nDropEvery) || fault.m_kind == SimFault::DROP)
        return;
    // The last byte before the checksum changes, never the checksum itself:
    // the check then fails for certain, and a program that took the reply
    // anyway would show a wrong value (for a record, its tgD).
    if (every(m_options.m_nCorruptEvery) || fault.m_kind == SimFault::CORRUPT)
        reply[reply.size() - 3] ^= 0xFF;
    int64_t nStartNs = nArrivedNs + m_options.m_nTurnaroundMs * 1000000LL;
    if (every(m_options.m_nDelayEvery))
        nStartNs += m_options.m_nDelayMs * 1000000LL;
    if (std::find(m_options.m_delayAt.begin(), m_options.m_delayAt.end(), nNumber) !=
        m_options.m_delayAt.end())
        nStartNs += m_options.m_nDelayAtMs * 1000000LL;
    nStartNs += fault.m_nLateMs * 1000000LL;
    if (!fault.m_noise.empty())
        nStartNs = m_output.Queue(fault.m_noise.data(), fault.m_noise.size(), nStartNs);
    if (m_options.m_bSplit || fault.m_kind == SimFault::SPLIT) {
        const size_t nFirst = reply.size() / 2;
        const int64_t nFirstDoneNs = m_output.Queue(reply.data(), nFirst, nStartNs);
        m_output.Queue(reply.data() + nFirst, reply.size() - nFirst,
                       nFirstDoneNs + SIM_SPLIT_PAUSE_NS);
    } else {
        m_output.Queue(reply.data(), reply.size(), nStartNs);
    }
}

int64_t SimInstrument::OnNoiseTick(int64_t nNowNs) {
    if (m_options.m_nNoiseMs <= 0)
        return -1;
    const int64_t nPeriodNs = m_options.m_nNoiseMs * 1000000LL;
    if (m_nNextNoiseNs < 0)
        m_nNextNoiseNs = nNowNs + nPeriodNs;
    while (m_nNextNoiseNs <= nNowNs) {
        // Nobody reading the line must not make the queue grow without end.
        if (m_output.Size() < 4096) {
            const uint8_t nByte = m_noiseRandom.Byte();
            m_output.Queue(&nByte, 1, m_nNextNoiseNs);
        }
        m_nNextNoiseNs += nPeriodNs;
    }
    return m_nNextNoiseNs;
}
