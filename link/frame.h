// Frames on the serial line: lead byte 1, total length, code, parameters,
// 16-bit additive checksum low byte first.
#pragma once

#include <cstdint>

constexpr int CMD_READ_RECORD = 10;
constexpr int CMD_READ_POSITION = 11;
constexpr int CMD_READ_EMPTY_CELLS = 12;
constexpr int CMD_PRESENCE = 255;

// The longest reply the link ever gathers.
constexpr int FRAME_MAX_LENGTH = 138;

// What the worker sends during the port search and expects back unchanged.
constexpr uint8_t PRESENCE_FRAME[5] = {1, 5, 255, 5, 1};

// Sums frame[0..n-1] as unsigned bytes and stores the sum's low and high byte
// at frame[n] and frame[n+1]. Returns n + 2, or 0 for a negative n.
int AppendChecksum(uint8_t* frame, int n);

// Builds the command frame for code (one of CMD_*) into frame (room for 7 bytes);
// the 16-bit parameter is used by CMD_READ_RECORD only. Returns the frame length.
int BuildCommandFrame(uint8_t* frame, int code, uint16_t parameter = 0);
