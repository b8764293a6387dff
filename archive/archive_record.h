// The instrument's 32-byte archive record and 56-byte empty-cell block, kept
// as raw bytes and read field by field as little-endian values, so the layout
// holds on any host and no read is unaligned or type-punned.
#pragma once

#include <cstdint>

constexpr int RecordKindSample = 0x01;    // exOrCo is Ex, tgD is tgDx
constexpr int RecordKindEmptyCell = 0x81; // exOrCo is Co in pF, tgD is tgDo
constexpr int MeasuringCellCount = 6;
constexpr int ArchiveSlotCount = 2000;

struct ArchiveRecord {
    uint8_t bytes[32];

    uint16_t sampleNumber() const;
    uint8_t kind() const;
    uint8_t cellNumber() const;
    int8_t temperature() const; // -50 or less: no sensor connected
    uint8_t minuteBcd() const;
    uint8_t hourBcd() const;
    uint8_t dayBcd() const;
    uint8_t monthBcd() const;
    uint8_t yearBcd() const;
    float voltage() const;
    float frequency() const;
    float exOrCo() const;
    float tgD() const;
    bool IsReportable() const; // kind is exactly 0x01 or 0x81
};
static_assert(sizeof(ArchiveRecord) == 32);

struct EmptyCellTable {
    uint8_t bytes[56]; // 0..3 frame header, 4..27 co[6] in farads, 28..51 tgDo[6], 52..55 tail

    float co(int i) const;
    float tgDo(int i) const;
};
static_assert(sizeof(EmptyCellTable) == 56);

// The record store: what the last download brought in. Zero-filled at start.
extern ArchiveRecord g_records[ArchiveSlotCount];
extern EmptyCellTable g_emptyCells;
