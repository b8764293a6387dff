// Command line of tarvex-sim.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct SimOptions {
    uint32_t m_nSeed = 1;
    std::string m_szArchivePath;
    std::string m_szDumpPath;
    int m_nPosition = 0;
    bool m_bPacing = true;
    int m_nTurnaroundMs = 5;
    std::string m_szLinkPath;
    std::string m_szLogPath;
    // Faults for tests; 0 means off.
    bool m_bSilent = false;
    int m_nPresenceAfter = 0;
    int m_nDropEvery = 0;
    int m_nCorruptEvery = 0;
    bool m_bSplit = false;
    int m_nNoiseMs = 0;
    int m_nDelayEvery = 0;
    int m_nDelayMs = 0;
    std::vector<int64_t> m_delayAt; // reply numbers sent m_nDelayAtMs late
    int m_nDelayAtMs = 0;
    // Records m_nSameFirst+1 .. m_nSameLast hold the bytes of record m_nSameFirst.
    int m_nSameFirst = -1;
    int m_nSameLast = -1;
    // Random faults (sim_random_faults.h): percent of replies hit, 0 means off.
    uint32_t m_nFaultSeed = 0;
    int m_nFaultPercent = 0;
    int m_nFaultLateMs = 1000;
    std::string m_szFaultLogPath;
    bool m_bHelp = false;
};

// Fills options from argv; on a bad option returns false with a message in szError.
bool ParseSimOptions(int argc, char** argv, SimOptions& options, std::string& szError);

extern const char* const SIM_USAGE;
