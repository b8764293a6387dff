// tarvex-sim driven from outside over its line, byte for byte, as any serial
// program would drive it.
#include <fstream>
#include <gtest/gtest.h>
#include <iterator>
#include <sys/wait.h>

#include "link/frame.h"
#include "tests/support/sim_process.h"
#include "tests/tools/pty_line.h"

namespace {

using namespace std::chrono_literals;

const Bytes PRESENCE = {1, 5, 255, 5, 1};
const Bytes POSITION_REQUEST = {1, 5, 11, 17, 0};
const Bytes POSITION_REPLY = {1, 7, 11, 0, 0, 19, 0};

// Runs the simulator to its end (output discarded) and returns its exit status.
int RunSimToExit(const std::string& args) {
    const int status = std::system((TARVEX_SIM_PATH " " + args + " >/dev/null 2>&1").c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// Each row: the options, then requests sent in turn with the reply each must
// draw, exactly (empty: nothing comes), at the pace of the line.
TEST(Sim, AnswersEachRequestExactly) {
    const struct {
        std::vector<std::string> args;
        std::vector<std::pair<Bytes, Bytes>> exchanges;
    } cases[] = {
        {{}, {{PRESENCE, PRESENCE}, {POSITION_REQUEST, POSITION_REPLY}}},
        {{"--position", "150"}, {{POSITION_REQUEST, {1, 7, 11, 150, 0, 169, 0}}}},
        {{"--position=65535"}, {{POSITION_REQUEST, {1, 7, 11, 255, 255, 0x11, 0x02}}}},
        {{"--silent"}, {{PRESENCE, {}}, {POSITION_REQUEST, {}}}},
        // Ignored presence frames do not count as replies for the other faults.
        {{"--presence-after", "2"}, {{PRESENCE, {}}, {PRESENCE, {}}, {PRESENCE, PRESENCE}}},
        // Every second reply has its last byte before the checksum spoilt, and only that byte.
        {{"--corrupt-every", "2"},
         {{POSITION_REQUEST, POSITION_REPLY},
          {POSITION_REQUEST, {1, 7, 11, 0, 0xFF, 19, 0}},
          {POSITION_REQUEST, POSITION_REPLY},
          {PRESENCE, {1, 5, 0, 5, 1}}}},
        // Replies 2 and 3 late: each starts after its delay, the others at once.
        {{"--delay-at", "2,3:300"},
         {{POSITION_REQUEST, POSITION_REPLY},
          {POSITION_REQUEST, {}},
          {{}, POSITION_REPLY},
          {POSITION_REQUEST, {}},
          {{}, POSITION_REPLY},
          {PRESENCE, PRESENCE}}},
    };
    for (const auto& c : cases) {
        SimProcess sim(c.args);
        PtyLine line(sim.DevicePath());
        for (const auto& [request, reply] : c.exchanges) {
            SCOPED_TRACE(testing::PrintToString(c.args) + testing::PrintToString(request));
            const auto sent = std::chrono::steady_clock::now();
            if (!request.empty())
                line.Send(request);
            EXPECT_EQ(line.Read(reply.size()), reply);
            // Paced at 11 bits a byte, 9600 baud; only a lower bound, as a busy machine adds any
            // delay.
            EXPECT_GE(std::chrono::steady_clock::now() - sent, reply.size() * 0.8 * 1146us);
            // One reply, nothing after it (a request without one: not within 200 ms).
            EXPECT_TRUE(line.Read(1, 200).empty()) << "one reply, nothing after it";
        }
    }
}

// Empty-cell and record replies carry exactly what --dump-archive writes, for a
// generated archive and for the same archive loaded back with --archive.
TEST(Sim, ArchiveRepliesMatchTheDumpedArchive) {
    TempDir dir;
    ASSERT_EQ(RunSimToExit("--seed 5 --dump-archive " + dir.File("a.bin")), 0);
    std::ifstream dump(dir.File("a.bin"), std::ios::binary);
    const Bytes archive(std::istreambuf_iterator<char>(dump), {});
    ASSERT_EQ(archive.size(), 64056u);
    EXPECT_EQ(Bytes(archive.begin(), archive.begin() + 4), (Bytes{1, 56, 12, 0}));
    Bytes cells(archive.begin(), archive.begin() + 56);
    EXPECT_EQ(AppendChecksum(cells.data(), 54), 56);
    EXPECT_EQ(cells, Bytes(archive.begin(), archive.begin() + 56));

    // A stretch of equal records, in the dump and on the line.
    ASSERT_EQ(RunSimToExit("--seed 5 --same-records 10:12 --dump-archive " + dir.File("s.bin")), 0);
    std::ifstream sameDump(dir.File("s.bin"), std::ios::binary);
    const Bytes same(std::istreambuf_iterator<char>(sameDump), {});
    ASSERT_EQ(same.size(), 64056u);
    const auto Record = [](const Bytes& a, int i) {
        return Bytes(a.begin() + 56 + i * 32, a.begin() + 56 + (i + 1) * 32);
    };
    for (int i = 0; i < 2000; ++i)
        EXPECT_EQ(Record(same, i), Record(archive, i >= 10 && i <= 12 ? 10 : i)) << i;
    EXPECT_NE(Record(archive, 10), Record(archive, 11));
    EXPECT_NE(RunSimToExit("--same-records 12:10 --dump-archive " + dir.File("x.bin")), 0);

    for (const auto& args : std::vector<std::vector<std::string>>{
             {"--seed", "5", "--no-pacing"}, {"--archive", dir.File("a.bin"), "--no-pacing"}}) {
        SimProcess sim(args);
        PtyLine line(sim.DevicePath());
        line.Send({1, 5, 12, 18, 0});
        EXPECT_EQ(line.Read(56), Bytes(archive.begin(), archive.begin() + 56)) << args[0];
        // 2050 lies beyond the ring of 2000 and is answered with record 50.
        for (int index : {0, 1999, 2050}) {
            const auto record = archive.begin() + 56 + (index % 2000) * 32;
            Bytes expected(38);
            expected[0] = 1;
            expected[1] = 38;
            expected[2] = 10;
            expected[3] = static_cast<uint8_t>(index);
            std::copy(record, record + 32, expected.begin() + 4);
            AppendChecksum(expected.data(), 36);
            uint8_t request[7];
            line.Send(Bytes(request, request + BuildCommandFrame(request, CMD_READ_RECORD, index)));
            EXPECT_EQ(line.Read(38), expected) << args[0] << " record " << index;
        }
    }
}

// Noise and malformed frames in front of a good request are skipped and the
// request still answered once; only well-formed frames reach the log.
TEST(Sim, IgnoresGarbageAndBadChecksumsAndLogsOnlyWellFormedFrames) {
    TempDir dir;
    {
        SimProcess sim({"--no-pacing", "--log", dir.File("sim.log")});
        PtyLine line(sim.DevicePath());
        // Noise, a bad checksum, impossible lengths, and a well-formed unknown code.
        for (const Bytes& garbage : std::vector<Bytes>{{0xFF, 0x00, 0x37},
                                                       {1, 5, 11, 18, 0},
                                                       {1, 0},
                                                       {1, 1, 1},
                                                       {1, 200, 10, 4, 5},
                                                       {1, 5, 99, 105, 0}}) {
            line.Send(garbage);
            line.Send(POSITION_REQUEST);
            EXPECT_EQ(line.Read(7), POSITION_REPLY) << testing::PrintToString(garbage);
            EXPECT_TRUE(line.Read(1, 200).empty());
        }
    }
    const std::string pos = "01 05 0b 11 00\n";
    std::ifstream log(dir.File("sim.log"));
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(log), {}),
              pos + pos + pos + pos + pos + "01 05 63 69 00\n" + pos);
}

// --split sends a record reply in two parts about 50 ms apart.
TEST(Sim, SplitRepliesComeInTwoParts) {
    SimProcess split({"--split", "--no-pacing"});
    PtyLine line(split.DevicePath());
    line.Send({1, 7, 10, 5, 0, 23, 0});
    ASSERT_EQ(line.Read(1).size(), 1u);
    const auto firstAt = std::chrono::steady_clock::now();
    const size_t first = 1 + line.Read(37, 1).size(); // what is there already: the first part
    EXPECT_LE(first, 19u);
    EXPECT_EQ(line.Read(38 - first).size(), 38 - first);
    EXPECT_GE(std::chrono::steady_clock::now() - firstAt, std::chrono::milliseconds(35));
}

TEST(Sim, RefusesBadOptionsAndArchivesWithStatus2) {
    TempDir dir;
    ASSERT_EQ(RunSimToExit("--dump-archive " + dir.File("short.bin")), 0);
    ASSERT_EQ(truncate(dir.File("short.bin").c_str(), 64055), 0);
    for (const std::string& args : std::vector<std::string>{
             "--bogus", "--position 65536", "--position -1", "--seed x", "--corrupt-every 0",
             "--delay-every 3", "--silent=1", "--log", "--archive " + dir.File("short.bin"),
             "--archive " + dir.File("missing.bin")})
        EXPECT_EQ(RunSimToExit(args), 2) << args;
    EXPECT_EQ(RunSimToExit("--help"), 0);
}

} // namespace
