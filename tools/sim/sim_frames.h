// Frames as the instrument sees them: request recognition on the incoming byte
// stream and the checksum of the frames it sends back.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

constexpr uint8_t SIM_LEAD_BYTE = 1;
// Requests are 5 or 7 bytes long; a slightly wider window still lets an unknown
// command be recognised (and ignored) without letting a garbage length byte
// swallow much of the good traffic behind it.
constexpr int SIM_REQUEST_MIN_LENGTH = 5;
constexpr int SIM_REQUEST_MAX_LENGTH = 16;

// Stores the plain 16-bit sum of frame[0..n-1] at frame[n] (low) and frame[n+1] (high).
void SimAppendChecksum(uint8_t* frame, int n);

// Gathers request frames from the line. A frame is lead byte 1, length byte L
// within the request window, then L-2 more bytes whose low checksum byte matches.
// Anything else is dropped one byte at a time, so a good frame behind garbage is
// still found.
class RequestParser {
public:
    void Push(const uint8_t* bytes, size_t n);
    // Takes the next complete well-formed frame out of the gathered bytes.
    bool Pop(std::vector<uint8_t>& frame);
    // True while bytes wait for the rest of a frame.
    bool Pending() const { return !m_gathered.empty(); }
    // Gives up on the frame start at the front (the line went quiet in the middle
    // of it), so that Pop looks again from the next byte.
    void DropLead();

private:
    std::vector<uint8_t> m_gathered;
};
