// Random faults for soak tests: each reply independently suffers one fault
// with a given probability, drawn from its own seeded generator so that a run
// can be repeated exactly. Every fault is appended to a log when one is named.
#pragma once

#include "sim_options.h"
#include "sim_random.h"

#include <cstdint>
#include <vector>

struct SimFault {
    enum Kind { NONE, DROP, CORRUPT, SPLIT, LATE, NOISE };
    Kind m_kind = NONE;
    int m_nLateMs = 0;            // LATE: added to the reply's start
    std::vector<uint8_t> m_noise; // NOISE: stray bytes sent just before the reply
};

class SimRandomFaults {
public:
    explicit SimRandomFaults(const SimOptions& options);
    ~SimRandomFaults();
    SimRandomFaults(const SimRandomFaults&) = delete;
    SimRandomFaults& operator=(const SimRandomFaults&) = delete;

    // The fault for reply number nReply (NONE when faults are off).
    SimFault Next(int64_t nReply);

private:
    SimRandom m_random;
    int m_nPercent;
    int m_nLateMs;
    int m_nLogFd = -1;
};

const char* SimFaultName(SimFault::Kind kind);
