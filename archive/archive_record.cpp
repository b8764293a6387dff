#include "archive/archive_record.h"

#include <bit>
#include <cstddef>
#include <limits>

namespace {

// Fields are assembled from single bytes, least significant first, so the
// result is the same on any host byte order and no read is unaligned.
uint16_t ReadU16(const uint8_t* pBytes, std::size_t nOffset) {
    return static_cast<uint16_t>(pBytes[nOffset] | (pBytes[nOffset + 1] << 8));
}

uint32_t ReadU32(const uint8_t* pBytes, std::size_t nOffset) {
    return static_cast<uint32_t>(pBytes[nOffset]) |
           (static_cast<uint32_t>(pBytes[nOffset + 1]) << 8) |
           (static_cast<uint32_t>(pBytes[nOffset + 2]) << 16) |
           (static_cast<uint32_t>(pBytes[nOffset + 3]) << 24);
}

float ReadF32(const uint8_t* pBytes, std::size_t nOffset) {
    static_assert(sizeof(float) == sizeof(uint32_t) && std::numeric_limits<float>::is_iec559);
    return std::bit_cast<float>(ReadU32(pBytes, nOffset));
}

} // namespace

ArchiveRecord g_records[ArchiveSlotCount];
EmptyCellTable g_emptyCells;

uint16_t ArchiveRecord::sampleNumber() const {
    return ReadU16(bytes, 2);
}
uint8_t ArchiveRecord::kind() const {
    return bytes[4];
}
uint8_t ArchiveRecord::cellNumber() const {
    return bytes[5];
}
int8_t ArchiveRecord::temperature() const {
    return std::bit_cast<int8_t>(bytes[6]);
}
uint8_t ArchiveRecord::minuteBcd() const {
    return bytes[8];
}
uint8_t ArchiveRecord::hourBcd() const {
    return bytes[9];
}
uint8_t ArchiveRecord::dayBcd() const {
    return bytes[11];
}
uint8_t ArchiveRecord::monthBcd() const {
    return bytes[12];
}
uint8_t ArchiveRecord::yearBcd() const {
    return bytes[13];
}
float ArchiveRecord::voltage() const {
    return ReadF32(bytes, 16);
}
float ArchiveRecord::frequency() const {
    return ReadF32(bytes, 20);
}
float ArchiveRecord::exOrCo() const {
    return ReadF32(bytes, 24);
}
float ArchiveRecord::tgD() const {
    return ReadF32(bytes, 28);
}

bool ArchiveRecord::IsReportable() const {
    return kind() == RecordKindSample || kind() == RecordKindEmptyCell;
}

// An index outside the six cells reads nothing and gives 0.
float EmptyCellTable::co(int i) const {
    return (i >= 0 && i < MeasuringCellCount) ? ReadF32(bytes, 4 + 4 * static_cast<std::size_t>(i))
                                              : 0.0f;
}

float EmptyCellTable::tgDo(int i) const {
    return (i >= 0 && i < MeasuringCellCount) ? ReadF32(bytes, 28 + 4 * static_cast<std::size_t>(i))
                                              : 0.0f;
}
