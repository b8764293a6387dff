#include "sim_frames.h"

void SimAppendChecksum(uint8_t* frame, int n) {
    uint32_t nSum = 0;
    for (int i = 0; i < n; ++i)
        nSum += frame[i];
    frame[n] = static_cast<uint8_t>(nSum & 0xFF);
    frame[n + 1] = static_cast<uint8_t>((nSum >> 8) & 0xFF);
}

void RequestParser::Push(const uint8_t* bytes, size_t n) {
    m_gathered.insert(m_gathered.end(), bytes, bytes + n);
}

bool RequestParser::Pop(std::vector<uint8_t>& frame) {
    size_t nStart = 0;
    bool bFound = false;
    while (m_gathered.size() - nStart >= 2) {
        const uint8_t* p = m_gathered.data() + nStart;
        const int nLength = p[1];
        if (p[0] != SIM_LEAD_BYTE || nLength < SIM_REQUEST_MIN_LENGTH ||
            nLength > SIM_REQUEST_MAX_LENGTH) {
            ++nStart;
            continue;
        }
        if (m_gathered.size() - nStart < static_cast<size_t>(nLength))
            break; // wait for the rest
        uint32_t nSum = 0;
        for (int i = 0; i < nLength - 2; ++i)
            nSum += p[i];
        if ((nSum & 0xFF) != p[nLength - 2]) {
            ++nStart;
            continue;
        }
        frame.assign(p, p + nLength);
        nStart += nLength;
        bFound = true;
        break;
    }
    // A lone byte other than the lead byte can never start a frame.
    if (!bFound && m_gathered.size() - nStart == 1 && m_gathered[nStart] != SIM_LEAD_BYTE)
        ++nStart;
    m_gathered.erase(m_gathered.begin(), m_gathered.begin() + static_cast<std::ptrdiff_t>(nStart));
    return bFound;
}

void RequestParser::DropLead() {
    if (!m_gathered.empty())
        m_gathered.erase(m_gathered.begin());
}
