#include "link/frame.h"

int AppendChecksum(uint8_t* frame, int n) {
    if (n < 0)
        return 0;
    // Wider than 16 bits on purpose: only the low 16 bits of the sum are kept.
    uint32_t sum = 0;
    for (int i = 0; i < n; ++i)
        sum += frame[i];
    frame[n] = static_cast<uint8_t>(sum & 0xFF);
    frame[n + 1] = static_cast<uint8_t>((sum >> 8) & 0xFF);
    return n + 2;
}

int BuildCommandFrame(uint8_t* frame, int code, uint16_t parameter) {
    frame[0] = 1;
    frame[2] = static_cast<uint8_t>(code);
    if (code == CMD_READ_RECORD) {
        frame[1] = 7;
        frame[3] = static_cast<uint8_t>(parameter & 0xFF);
        frame[4] = static_cast<uint8_t>(parameter >> 8);
    } else {
        frame[1] = 5;
    }
    // The count comes from the frame's own length byte, so the two cannot disagree.
    return AppendChecksum(frame, frame[1] - 2);
}
