// Frame building, reply recognition and the choice of line-error box.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "link/frame.h"
#include "link/line_error_box.h"
#include "link/reply_gatherer.h"
#include "platform/serial_port.h"

namespace {

using Bytes = std::vector<uint8_t>;

TEST(AppendChecksum, StoresTheLow16BitsLowByteFirst) {
    Bytes presence = {1, 5, 255, 0, 0};
    EXPECT_EQ(AppendChecksum(presence.data(), 3), 5);
    EXPECT_EQ(presence, (Bytes{1, 5, 255, 5, 1}));
    Bytes empty = {9, 9, 9};
    EXPECT_EQ(AppendChecksum(empty.data(), 0), 2);
    EXPECT_EQ(empty, (Bytes{0, 0, 9}));
    Bytes longFrame(302, 255);
    EXPECT_EQ(AppendChecksum(longFrame.data(), 300), 302);
    EXPECT_EQ(Bytes(longFrame.begin() + 300, longFrame.end()), (Bytes{212, 42})); // 76500 mod 65536
}

TEST(BuildCommandFrame, BuildsTheBytesOnTheLine) {
    const struct {
        int code;
        uint16_t parameter;
        Bytes expected;
    } cases[] = {{CMD_READ_POSITION, 0, {1, 5, 11, 17, 0}},
                 {CMD_PRESENCE, 0, {1, 5, 255, 5, 1}},
                 {CMD_READ_RECORD, 1999, {1, 7, 10, 207, 7, 232, 0}},
                 {CMD_READ_RECORD, 0xFFFF, {1, 7, 10, 255, 255, 16, 2}}};
    for (const auto& c : cases) {
        uint8_t frame[8] = {0, 0, 0, 0, 0, 0, 0, 0xEE};
        const int length = BuildCommandFrame(frame, c.code, c.parameter);
        EXPECT_EQ(Bytes(frame, frame + length), c.expected) << c.parameter;
        EXPECT_EQ(frame[7], 0xEE); // nothing written past the frame
    }
}

GatherVerdict Feed(ReplyGatherer& g, const Bytes& bytes) {
    EXPECT_TRUE(g.Append(bytes.data(), static_cast<int>(bytes.size())));
    return g.Examine();
}

// Position 1234; the checksum's high byte is right here, though only the low one counts.
const Bytes POSITION_REPLY = {1, 7, 11, 0xD2, 0x04, 0xE9, 0x00};

TEST(ReplyGatherer, AcceptsAFrameSplitAtEveryPoint) {
    for (size_t split = 0; split < POSITION_REPLY.size(); ++split) {
        SCOPED_TRACE(split);
        ReplyGatherer g;
        EXPECT_EQ(Feed(g, Bytes(POSITION_REPLY.begin(), POSITION_REPLY.begin() + split)),
                  GatherVerdict::NeedMore);
        ASSERT_EQ(Feed(g, Bytes(POSITION_REPLY.begin() + split, POSITION_REPLY.end())),
                  GatherVerdict::Accepted);
        EXPECT_EQ(Bytes(g.Bytes(), g.Bytes() + g.Count()), POSITION_REPLY);
    }
}

TEST(ReplyGatherer, JudgesWholeReads) {
    const struct {
        const char* name;
        Bytes bytes;
        GatherVerdict verdict;
    } cases[] = {
        {"wrong high checksum byte", {1, 7, 11, 0xD2, 0x04, 0xE9, 0x77}, GatherVerdict::Accepted},
        {"any lead byte", {7, 7, 11, 0xD2, 0x04, 0xEF, 0x00}, GatherVerdict::Accepted},
        {"wrong low checksum byte", {1, 7, 11, 0xD2, 0x04, 0xEA, 0x00}, GatherVerdict::Dropped},
        {"length 0", {1, 0, 11, 12}, GatherVerdict::Dropped},
        {"length 1", {1, 1, 2, 3}, GatherVerdict::Dropped},
        {"one byte", {1}, GatherVerdict::NeedMore},
        // Two frames in one read are one reply; bytes past the first are not examined.
        {"two frames", {1, 5, 11, 17, 0, 1, 5, 12, 18, 0}, GatherVerdict::Accepted},
        // A bad frame drops the whole read, with no search for a later start.
        {"bad then good", {1, 5, 11, 99, 0, 1, 5, 11, 17, 0}, GatherVerdict::Dropped},
        // A full buffer announcing 139 bytes can never complete.
        {"length 139",
         [] {
             Bytes b(ReplyGatherer::CAPACITY, 0);
             b[1] = 139;
             return b;
         }(),
         GatherVerdict::NeedMore},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ReplyGatherer g;
        EXPECT_EQ(Feed(g, c.bytes), c.verdict);
        // Accepted and incomplete frames are kept whole, dropped ones not at all.
        EXPECT_EQ(Bytes(g.Bytes(), g.Bytes() + g.Count()),
                  c.verdict == GatherVerdict::Dropped ? Bytes{} : c.bytes);
    }
}

TEST(LineErrorBox, OverrunWinsAndParityOrFramingSilenceBoth) {
    const std::string overrun =
        "Ошибка интерфейса\n   перезаписан байт в буфере приемника (неработает прерывание порта))";
    const std::string rxover = "Ошибка интерфейса\n   переполнение буфера приемника";
    const struct {
        int word;
        std::string box; // empty: no box
    } cases[] = {{0, ""},
                 {CE_RXOVER, rxover},
                 {CE_OVERRUN | CE_RXOVER, overrun},
                 {CE_RXOVER | CE_FRAME, ""},
                 {CE_OVERRUN | CE_RXPARITY, ""}};
    for (const auto& c : cases) {
        const char* text = LineErrorBoxText(c.word);
        EXPECT_EQ(text ? std::string(text) : std::string(), c.box) << c.word;
    }
}

} // namespace
