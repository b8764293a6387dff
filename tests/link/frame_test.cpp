#include <gtest/gtest.h>

#include <vector>

#include "link/frame.h"

namespace {

using Bytes = std::vector<uint8_t>;

TEST(AppendChecksum, StoresLowByteFirstAndReturnsLength) {
    Bytes presence = {1, 5, 255, 0, 0};
    EXPECT_EQ(AppendChecksum(presence.data(), 3), 5);
    EXPECT_EQ(presence, (Bytes{1, 5, 255, 5, 1}));

    Bytes position = {1, 5, 11, 0, 0};
    EXPECT_EQ(AppendChecksum(position.data(), 3), 5);
    EXPECT_EQ(position, (Bytes{1, 5, 11, 17, 0}));
}

TEST(AppendChecksum, KeepsOnlyLow16BitsOfLongSums) {
    Bytes frame(302, 255);
    EXPECT_EQ(AppendChecksum(frame.data(), 300), 302);
    EXPECT_EQ(frame[300], 212); // 76500 - 65536 = 10964 = 42 * 256 + 212
    EXPECT_EQ(frame[301], 42);
}

TEST(AppendChecksum, EmptyAndNegativeCounts) {
    Bytes frame = {9, 9, 9};
    EXPECT_EQ(AppendChecksum(frame.data(), 0), 2);
    EXPECT_EQ(frame, (Bytes{0, 0, 9}));

    frame = {9, 9, 9};
    EXPECT_EQ(AppendChecksum(frame.data(), -1), 0);
    EXPECT_EQ(frame, (Bytes{9, 9, 9}));
}

struct CommandCase {
    int code;
    uint16_t parameter;
    Bytes expected;
};

void PrintTo(const CommandCase& c, std::ostream* os) {
    *os << "code " << c.code << " parameter " << c.parameter;
}

class BuildCommandFrameTest : public ::testing::TestWithParam<CommandCase> {};

TEST_P(BuildCommandFrameTest, BuildsTheBytesOnTheLine) {
    const CommandCase& c = GetParam();
    uint8_t frame[8] = {0, 0, 0, 0, 0, 0, 0, 0xEE};
    const int length = BuildCommandFrame(frame, c.code, c.parameter);
    ASSERT_EQ(length, static_cast<int>(c.expected.size()));
    EXPECT_EQ(Bytes(frame, frame + length), c.expected);
    EXPECT_EQ(frame[7], 0xEE); // nothing written past the frame
}

INSTANTIATE_TEST_SUITE_P(
    Commands, BuildCommandFrameTest,
    ::testing::Values(CommandCase{CMD_READ_POSITION, 0, {1, 5, 11, 17, 0}},
                      CommandCase{CMD_READ_EMPTY_CELLS, 0, {1, 5, 12, 18, 0}},
                      CommandCase{CMD_PRESENCE, 0, {1, 5, 255, 5, 1}},
                      CommandCase{CMD_READ_RECORD, 1999, {1, 7, 10, 207, 7, 232, 0}},
                      CommandCase{CMD_READ_RECORD, 0, {1, 7, 10, 0, 0, 18, 0}},
                      // 18 + 255 + 255 = 528 carries into the high checksum byte
                      CommandCase{CMD_READ_RECORD, 0xFFFF, {1, 7, 10, 255, 255, 16, 2}}));

} // namespace
