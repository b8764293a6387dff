// A small deterministic generator (splitmix64) so that a seed gives the same
// archive and noise bytes with any compiler and standard library.
#pragma once

#include <cstdint>

class SimRandom {
public:
    explicit SimRandom(uint64_t nSeed) : m_nState(nSeed) {}

    uint64_t Next() {
        uint64_t z = (m_nState += 0x9E3779B97F4A7C15ULL);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
        return z ^ (z >> 31);
    }
    // An integer from nLow to nHigh inclusive.
    int Range(int nLow, int nHigh) {
        return nLow + static_cast<int>(Next() % static_cast<uint64_t>(nHigh - nLow + 1));
    }
    // A real number from dLow up to dHigh.
    double Real(double dLow, double dHigh) {
        return dLow + (dHigh - dLow) * static_cast<double>(Next() >> 11) / 9007199254740992.0;
    }
    uint8_t Byte() { return static_cast<uint8_t>(Next() & 0xFF); }

private:
    uint64_t m_nState;
};
