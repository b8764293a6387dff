// The instrument itself: answers requests from its archive, paces the line and
// applies the fault options.
#pragma once

#include "sim_archive.h"
#include "sim_options.h"
#include "sim_paced_output.h"
#include "sim_random.h"
#include "sim_random_faults.h"

#include <cstdint>
#include <vector>

// 11 bits a byte (start, 8 data, 2 stop) at 9600 baud.
constexpr int64_t SIM_BYTE_NS = 11 * 1000000000LL / 9600;
constexpr int64_t SIM_SPLIT_PAUSE_NS = 50 * 1000000LL;
// A frame start that sees no further byte for this long is given up.
constexpr int64_t SIM_FRAME_GAP_NS = 100 * 1000000LL;

// The reply the instrument gives to a well-formed request; empty if it has none.
std::vector<uint8_t> BuildReply(const std::vector<uint8_t>& request, const SimArchive& archive,
                                int nPosition);

class SimInstrument {
public:
    SimInstrument(const SimOptions& options, const SimArchive& archive, int nLogFd);

    // Handles one received frame that was complete on the line at nArrivedNs.
    void OnRequest(const std::vector<uint8_t>& request, int64_t nArrivedNs);
    // Queues a stray byte when one is due; returns when the next one is due, or -1.
    int64_t OnNoiseTick(int64_t nNowNs);

    PacedOutput& Output() { return m_output; }

private:
    void Log(const std::vector<uint8_t>& request) const;

    const SimOptions& m_options;
    const SimArchive& m_archive;
    int m_nLogFd;
    PacedOutput m_output;
    SimRandom m_noiseRandom;
    SimRandomFaults m_faults;
    int m_nPresenceIgnored = 0;
    int64_t m_nReplyCount = 0;
    int64_t m_nNextNoiseNs = -1;
};
