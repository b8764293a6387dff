#include <gtest/gtest.h>

#include <vector>

#include "link/reply_gatherer.h"

namespace {

using Bytes = std::vector<uint8_t>;

// A 7-byte position reply: code 11, position 1234, checksum with a correct high byte.
const Bytes POSITION_REPLY = {1, 7, 11, 0xD2, 0x04, 0xE9, 0x00};

GatherVerdict Feed(ReplyGatherer& g, const Bytes& bytes) {
    EXPECT_TRUE(g.Append(bytes.data(), static_cast<int>(bytes.size())));
    return g.Examine();
}

TEST(ReplyGatherer, AcceptsAFrameSplitAtEveryPoint) {
    for (size_t split = 0; split < POSITION_REPLY.size(); ++split) {
        SCOPED_TRACE(split);
        ReplyGatherer g;
        const Bytes first(POSITION_REPLY.begin(), POSITION_REPLY.begin() + split);
        const Bytes second(POSITION_REPLY.begin() + split, POSITION_REPLY.end());
        EXPECT_EQ(Feed(g, first), GatherVerdict::NeedMore);
        ASSERT_EQ(Feed(g, second), GatherVerdict::Accepted);
        EXPECT_EQ(Bytes(g.Bytes(), g.Bytes() + g.Count()), POSITION_REPLY);
    }
}

struct WholeCase {
    const char* name;
    Bytes bytes;
    GatherVerdict verdict;
};

void PrintTo(const WholeCase& c, std::ostream* os) {
    *os << c.name;
}

class ReplyGathererWhole : public ::testing::TestWithParam<WholeCase> {};

TEST_P(ReplyGathererWhole, Judges) {
    const WholeCase& c = GetParam();
    ReplyGatherer g;
    EXPECT_EQ(Feed(g, c.bytes), c.verdict);
    if (c.verdict == GatherVerdict::Accepted) {
        EXPECT_EQ(Bytes(g.Bytes(), g.Bytes() + g.Count()), c.bytes);
    }
    if (c.verdict == GatherVerdict::Dropped) {
        EXPECT_EQ(g.Count(), 0);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Frames, ReplyGathererWhole,
    ::testing::Values(
        WholeCase{
            "WrongHighChecksumByte", {1, 7, 11, 0xD2, 0x04, 0xE9, 0x77}, GatherVerdict::Accepted},
        WholeCase{"AnyLeadByte", {7, 7, 11, 0xD2, 0x04, 0xEF, 0x00}, GatherVerdict::Accepted},
        WholeCase{
            "WrongLowChecksumByte", {1, 7, 11, 0xD2, 0x04, 0xEA, 0x00}, GatherVerdict::Dropped},
        WholeCase{"LengthZero", {1, 0, 11, 12}, GatherVerdict::Dropped},
        WholeCase{"LengthOne", {1, 1}, GatherVerdict::Dropped},
        WholeCase{"LengthOneWithMore", {1, 1, 2, 3}, GatherVerdict::Dropped},
        WholeCase{"LengthTwoEmptySum", {0, 2}, GatherVerdict::Accepted},
        WholeCase{"LengthTwoNonZeroLead", {1, 2}, GatherVerdict::Dropped},
        WholeCase{"LengthThreeLeadEqualsSum", {3, 3, 0}, GatherVerdict::Accepted},
        WholeCase{"LengthThreeOtherLead", {4, 3, 0}, GatherVerdict::Dropped},
        WholeCase{"OneByte", {1}, GatherVerdict::NeedMore},
        // Two frames in one read are one reply; bytes past the first are not examined.
        WholeCase{"TwoFramesTogether", {1, 5, 11, 17, 0, 1, 5, 12, 18, 0}, GatherVerdict::Accepted},
        WholeCase{"ValidFrameThenJunk", {1, 5, 11, 17, 0, 0xFF, 0x00}, GatherVerdict::Accepted}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(ReplyGatherer, DropIsWholeWithNoSearchForALaterStart) {
    ReplyGatherer g;
    // A bad frame followed, in the same read, by a good one: everything goes.
    EXPECT_EQ(Feed(g, {1, 5, 11, 99, 0, 1, 5, 11, 17, 0}), GatherVerdict::Dropped);
    EXPECT_EQ(g.Count(), 0);
    // The next frame is judged from a clean start.
    EXPECT_EQ(Feed(g, {1, 5, 11, 17, 0}), GatherVerdict::Accepted);
}

TEST(ReplyGatherer, LengthAboveCapacityIsNeverAcceptedAndAppendStopsAtCapacity) {
    ReplyGatherer g;
    Bytes frame(ReplyGatherer::CAPACITY, 0);
    frame[1] = 139;
    ASSERT_TRUE(g.Append(frame.data(), static_cast<int>(frame.size())));
    EXPECT_EQ(g.Examine(), GatherVerdict::NeedMore);
    EXPECT_EQ(g.Room(), 0);
    const uint8_t more = 0;
    EXPECT_FALSE(g.Append(&more, 1));
    EXPECT_EQ(g.Count(), ReplyGatherer::CAPACITY);
    g.Clear();
    EXPECT_EQ(g.Count(), 0);
    EXPECT_EQ(g.Room(), ReplyGatherer::CAPACITY);
}

TEST(ReplyGatherer, AcceptsAFrameOfFullCapacity) {
    Bytes frame(ReplyGatherer::CAPACITY, 3);
    frame[1] = ReplyGatherer::CAPACITY;
    uint8_t sum = 0;
    for (int i = 0; i < ReplyGatherer::CAPACITY - 2; ++i)
        sum = static_cast<uint8_t>(sum + frame[i]);
    frame[ReplyGatherer::CAPACITY - 2] = sum;
    ReplyGatherer g;
    EXPECT_EQ(Feed(g, frame), GatherVerdict::Accepted);
}

} // namespace
