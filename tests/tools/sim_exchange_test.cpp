// The simulator as a program on the other end of a serial line: requests in,
// replies out, byte for byte.
#include "raw_line.h"
#include "sim_files.h"
#include "tests/support/sim_process.h"

#include <fstream>
#include <gtest/gtest.h>
#include <iterator>

namespace {

const Bytes PRESENCE = {1, 5, 255, 5, 1};
const Bytes POSITION_REQUEST = {1, 5, 11, 17, 0};
const Bytes CELLS_REQUEST = {1, 5, 12, 18, 0};

struct SimpleReplyCase {
    const char* szName;
    std::vector<std::string> args;
    Bytes request;
    Bytes reply;
    friend void PrintTo(const SimpleReplyCase& c, std::ostream* os) { *os << c.szName; }
};

class SimpleReplies : public testing::TestWithParam<SimpleReplyCase> {};

TEST_P(SimpleReplies, AnswerAsExpected) {
    const auto& c = GetParam();
    SimProcess sim(c.args);
    RawLine line(sim.DevicePath());
    line.Send(c.request);
    EXPECT_EQ(line.Read(c.reply.size()), c.reply);
    EXPECT_TRUE(line.ReadFor(150).empty()) << "one reply, nothing after it";
}

INSTANTIATE_TEST_SUITE_P(
    Sim, SimpleReplies,
    testing::Values(
        SimpleReplyCase{"PresenceEcho", {}, PRESENCE, PRESENCE},
        SimpleReplyCase{"DefaultPosition", {}, POSITION_REQUEST, {1, 7, 11, 0, 0, 19, 0}},
        SimpleReplyCase{
            "Position150", {"--position", "150"}, POSITION_REQUEST, {1, 7, 11, 150, 0, 169, 0}},
        SimpleReplyCase{"PositionFFFF",
                        {"--position=65535"},
                        POSITION_REQUEST,
                        {1, 7, 11, 255, 255, 0x11, 0x02}},
        // Only the low checksum byte decides; the echo gives back what came.
        SimpleReplyCase{"PresenceWrongHighByte", {}, {1, 5, 255, 5, 9}, {1, 5, 255, 5, 9}}),
    [](const auto& info) { return std::string(info.param.szName); });

// Record and empty-cell replies carry exactly what --dump-archive writes, for a
// generated archive and for the same archive loaded back from the file.
TEST(SimArchiveReplies, MatchDumpedArchive) {
    TempDir dir;
    const std::string szDump = dir.File("seed5.bin");
    ASSERT_EQ(RunSimToExit({"--seed", "5", "--dump-archive", szDump}), 0);
    const Bytes archive = ReadFileBytes(szDump);
    ASSERT_EQ(archive.size(), 64056u);

    for (const auto& args : std::vector<std::vector<std::string>>{
             {"--seed", "5", "--no-pacing"}, {"--archive", szDump, "--no-pacing"}}) {
        SCOPED_TRACE(args[0]);
        SimProcess sim(args);
        RawLine line(sim.DevicePath());
        line.Send(CELLS_REQUEST);
        const Bytes cells = line.Read(56);
        ASSERT_EQ(cells.size(), 56u);
        EXPECT_EQ(cells, Bytes(archive.begin(), archive.begin() + 56));
        EXPECT_EQ(Bytes(cells.begin(), cells.begin() + 4), (Bytes{1, 56, 12, 0}));
        EXPECT_TRUE(ChecksumIsRight(cells));

        // 2050 lies beyond the ring and is answered with record 50.
        for (int nIndex : {0, 1, 255, 256, 1999, 2050}) {
            SCOPED_TRACE(nIndex);
            line.Send(RecordRequest(nIndex));
            const Bytes reply = line.Read(38);
            ASSERT_EQ(reply.size(), 38u);
            EXPECT_EQ(Bytes(reply.begin(), reply.begin() + 4),
                      (Bytes{1, 38, 10, static_cast<uint8_t>(nIndex & 0xFF)}));
            const auto record = archive.begin() + 56 + (nIndex % 2000) * 32;
            EXPECT_EQ(Bytes(reply.begin() + 4, reply.begin() + 36), Bytes(record, record + 32));
            EXPECT_TRUE(ChecksumIsRight(reply));
        }
    }
}

// Noise in front of a good request is skipped and the request still answered
// once; malformed and unknown frames get no reply.
TEST(SimResync, IgnoresGarbageAndAnswersTheNextGoodRequest) {
    const std::vector<Bytes> prefixes = {
        {0xFF, 0x00, 0x37},
        {1, 5, 11, 18, 0},           // wrong checksum
        {1, 0},                      // zero length
        {1, 1, 1},                   // impossible lengths
        {1, 7, 10},                  // a frame start that never completes
        {1, 200, 10, 4, 5},          // a length no request has
        WithChecksum({1, 5, 99}),    // well formed, unknown code
        WithChecksum({1, 6, 11, 0}), // known code, wrong length for it
    };
    SimProcess sim({"--no-pacing", "--position", "300"});
    RawLine line(sim.DevicePath());
    for (const Bytes& prefix : prefixes) {
        SCOPED_TRACE(testing::PrintToString(prefix));
        Bytes traffic = prefix;
        traffic.insert(traffic.end(), POSITION_REQUEST.begin(), POSITION_REQUEST.end());
        line.Send(traffic);
        EXPECT_EQ(line.Read(7), (Bytes{1, 7, 11, 0x2C, 0x01, 0x40, 0}));
        EXPECT_TRUE(line.ReadFor(150).empty());
    }
    // Garbage alone draws no answer.
    line.Send({1, 5, 12, 0, 0, 0xAA, 1, 7});
    EXPECT_TRUE(line.ReadFor(300).empty());
}

TEST(SimLog, RecordsEveryWellFormedFrameInHex) {
    TempDir dir;
    const std::string szLog = dir.File("traffic.log");
    {
        SimProcess sim({"--no-pacing", "--log", szLog});
        RawLine line(sim.DevicePath());
        line.Send(PRESENCE);
        ASSERT_EQ(line.Read(5).size(), 5u);
        line.Send({0x55, 1, 5, 11, 18, 0}); // garbage and a bad checksum: not logged
        line.Send(POSITION_REQUEST);
        ASSERT_EQ(line.Read(7).size(), 7u);
        line.Send(RecordRequest(1999));
        ASSERT_EQ(line.Read(38).size(), 38u);
        line.Send(WithChecksum({1, 5, 13})); // logged though unanswered
        line.Send(PRESENCE);                 // its echo shows the frame before was taken
        ASSERT_EQ(line.Read(5), PRESENCE);
    }
    EXPECT_EQ(ReadFileText(szLog), "01 05 ff 05 01\n"
                                   "01 05 0b 11 00\n"
                                   "01 07 0a cf 07 e8 00\n"
                                   "01 05 0d 13 00\n"
                                   "01 05 ff 05 01\n");
}

// A long run of arbitrary bytes neither stops the simulator nor leaves it stuck
// in the middle of a frame.
TEST(SimResync, SurvivesArbitraryBytes) {
    SimProcess sim({"--no-pacing"});
    RawLine line(sim.DevicePath());
    Bytes junk(4000);
    uint32_t nState = 12345;
    for (auto& b : junk) {
        nState = nState * 1103515245u + 12345u;
        b = static_cast<uint8_t>(nState >> 16);
    }
    for (size_t i = 0; i < junk.size(); i += 500)
        line.Send(Bytes(junk.begin() + i, junk.begin() + i + 500));
    line.ReadFor(300); // whatever the junk happened to ask for
    line.Send(PRESENCE);
    EXPECT_EQ(line.Read(5), PRESENCE);
}

} // namespace
