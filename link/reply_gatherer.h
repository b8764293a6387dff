// Recognition of one reply frame from bytes that arrive in arbitrary pieces.
// The gatherer only collects and judges; reading the port and acting on the
// verdict is the worker's business.
#pragma once

#include <cstdint>

#include "link/frame.h"

enum class GatherVerdict {
    NeedMore, // no complete frame yet
    Dropped,  // the gathered bytes were invalid and are gone
    Accepted, // Bytes()/Count() hold the reply until Clear()
};

class ReplyGatherer {
public:
    static constexpr int CAPACITY = FRAME_MAX_LENGTH;

    // Appends n bytes behind those gathered. Refuses (appends nothing, returns
    // false) when they would not fit: the caller drops or discards instead.
    bool Append(const uint8_t* bytes, int n);
    // Judges the gathered bytes. Dropped empties the gatherer; Accepted keeps
    // every gathered byte (also those behind the frame) for the caller.
    GatherVerdict Examine();

    const uint8_t* Bytes() const { return m_buffer; }
    int Count() const { return m_nCount; }
    int Room() const { return CAPACITY - m_nCount; }
    void Clear() { m_nCount = 0; }

private:
    uint8_t m_buffer[CAPACITY] = {};
    int m_nCount = 0;
};
