#include "archive/archive_record.h"

#include <gtest/gtest.h>

#include <cstring>

namespace {

// The worked-example record as the instrument sends it, byte for byte.
ArchiveRecord WireRecord() {
    const uint8_t wire[32] = {0xAA, 0xBB, 0x34, 0x12, 0x81, 0x06, 0xCE, 0x30, 0x05, 0x14, 0x77,
                              0x06, 0x12, 0x09, 0xCC, 0xDD, 0x00, 0x00, 0xFA, 0x44, 0x00, 0x00,
                              0x48, 0x42, 0x66, 0x66, 0x06, 0x40, 0x52, 0x49, 0x9D, 0x3A};
    ArchiveRecord record;
    std::memcpy(record.bytes, wire, sizeof wire);
    return record;
}

TEST(ArchiveRecordTest, ReadsEveryFieldLittleEndianAtItsOffset) {
    const ArchiveRecord record = WireRecord();
    EXPECT_EQ(record.sampleNumber(), 0x1234);
    EXPECT_EQ(record.kind(), 0x81);
    EXPECT_EQ(record.cellNumber(), 6);
    EXPECT_EQ(record.temperature(), -50); // 0xCE as a signed byte
    EXPECT_EQ(record.minuteBcd(), 0x05);
    EXPECT_EQ(record.hourBcd(), 0x14);
    EXPECT_EQ(record.dayBcd(), 0x06);
    EXPECT_EQ(record.monthBcd(), 0x12);
    EXPECT_EQ(record.yearBcd(), 0x09);
    EXPECT_EQ(record.voltage(), 2000.0f);
    EXPECT_EQ(record.frequency(), 50.0f);
    EXPECT_EQ(record.exOrCo(), 2.1f);
    EXPECT_EQ(record.tgD(), 0.0012f);
}

TEST(ArchiveRecordTest, OnlyKinds01And81AreReportable) {
    ArchiveRecord record{};
    for (int nKind = 0; nKind <= 0xFF; ++nKind) {
        record.bytes[4] = static_cast<uint8_t>(nKind);
        EXPECT_EQ(record.IsReportable(), nKind == 0x01 || nKind == 0x81) << "kind " << nKind;
    }
}

TEST(EmptyCellTableTest, ReadsCoAndTgDoOfEachCellAfterTheFrameHeader) {
    EmptyCellTable cells{};
    const uint8_t co1[4] = {0xFF, 0xF0, 0x83, 0x2D};   // 1.5e-11
    const uint8_t tgDo6[4] = {0x17, 0xB7, 0xD1, 0x38}; // 0.0001
    std::memcpy(cells.bytes + 4, co1, 4);
    std::memcpy(cells.bytes + 28 + 5 * 4, tgDo6, 4);
    std::memset(cells.bytes, 0xEE, 4);
    std::memset(cells.bytes + 52, 0xEE, 4);
    EXPECT_EQ(cells.co(0), 1.5e-11f);
    EXPECT_EQ(cells.tgDo(5), 0.0001f);
    for (int i = 1; i < MeasuringCellCount; ++i) {
        EXPECT_EQ(cells.co(i), 0.0f);
        EXPECT_EQ(cells.tgDo(i - 1), 0.0f);
    }
}

TEST(RecordStoreTest, StartsZeroFilledAndNotReportable) {
    static_assert(sizeof(g_records) == 64000);
    for (const ArchiveRecord& record : g_records) {
        ASSERT_FALSE(record.IsReportable());
    }
    for (uint8_t byte : g_emptyCells.bytes) {
        ASSERT_EQ(byte, 0);
    }
}

} // namespace
