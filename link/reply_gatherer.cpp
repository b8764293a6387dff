#include "link/reply_gatherer.h"

#include <cstring>

bool ReplyGatherer::Append(const uint8_t* bytes, int n) {
    if (n < 0 || n > Room())
        return false;
    if (n > 0)
        std::memcpy(m_buffer + m_nCount, bytes, static_cast<size_t>(n));
    m_nCount += n;
    return true;
}

GatherVerdict ReplyGatherer::Examine() {
    if (m_nCount < 2)
        return GatherVerdict::NeedMore;
    const int length = m_buffer[1];
    if (m_nCount < length)
        return GatherVerdict::NeedMore;
    // Length 0 is no frame; length 1 would put the checksum byte in front of
    // the frame, outside the gathered bytes, so it is no frame either.
    if (length < 2) {
        Clear();
        return GatherVerdict::Dropped;
    }
    uint8_t sum = 0;
    for (int i = 0; i < length - 2; ++i)
        sum = static_cast<uint8_t>(sum + m_buffer[i]);
    // Only the low checksum byte is compared; the instrument's high byte is not trusted.
    if (sum != m_buffer[length - 2]) {
        Clear();
        return GatherVerdict::Dropped;
    }
    return GatherVerdict::Accepted;
}
