// Fault options, line pacing and the life of the process.
#include "raw_line.h"
#include "sim_files.h"
#include "tests/support/sim_process.h"

#include <csignal>
#include <gtest/gtest.h>
#include <poll.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

const Bytes PRESENCE = {1, 5, 255, 5, 1};
const Bytes POSITION_REQUEST = {1, 5, 11, 17, 0};
const Bytes POSITION_REPLY = {1, 7, 11, 0, 0, 19, 0};
// 11 bits a byte at 9600 baud.
constexpr double BYTE_MS = 11 * 1000.0 / 9600;

TEST(SimFaults, SilentNeverAnswers) {
    SimProcess sim({"--silent", "--no-pacing"});
    RawLine line(sim.DevicePath());
    line.Send(PRESENCE);
    line.Send(POSITION_REQUEST);
    EXPECT_TRUE(line.ReadFor(400).empty());
}

TEST(SimFaults, PresenceAfterIgnoresTheFirstPresenceFrames) {
    SimProcess sim({"--presence-after", "2", "--no-pacing", "--drop-every", "2"});
    RawLine line(sim.DevicePath());
    for (int i = 0; i < 2; ++i) {
        line.Send(PRESENCE);
        EXPECT_TRUE(line.ReadFor(250).empty()) << "presence frame " << i + 1;
    }
    // Ignored presence frames are not replies: this is reply 1, the next one
    // (reply 2) is dropped.
    line.Send(PRESENCE);
    EXPECT_EQ(line.Read(5), PRESENCE);
    line.Send(POSITION_REQUEST);
    EXPECT_TRUE(line.ReadFor(250).empty());
    line.Send(POSITION_REQUEST);
    EXPECT_EQ(line.Read(7), POSITION_REPLY);
}

TEST(SimFaults, CorruptEveryKSpoilsOnlyTheLowChecksumByteOfThoseReplies) {
    SimProcess sim({"--corrupt-every", "2", "--no-pacing"});
    RawLine line(sim.DevicePath());
    for (int nReply = 1; nReply <= 4; ++nReply) {
        line.Send(POSITION_REQUEST);
        const Bytes reply = line.Read(7);
        ASSERT_EQ(reply.size(), 7u);
        Bytes expected = POSITION_REPLY;
        if (nReply % 2 == 0)
            expected[5] ^= 0xFF;
        EXPECT_EQ(reply, expected) << "reply " << nReply;
    }
}

TEST(SimFaults, SplitSendsTwoPartsWithAPause) {
    SimProcess sim({"--split", "--no-pacing"});
    RawLine line(sim.DevicePath());
    line.Send({1, 7, 10, 5, 0, 23, 0});
    const Bytes first = line.ReadSome();
    const auto firstAt = Clock::now();
    ASSERT_FALSE(first.empty());
    EXPECT_LE(first.size(), 19u);
    const Bytes rest = line.Read(38 - first.size());
    EXPECT_GE(MsSince(firstAt), 35.0);
    EXPECT_EQ(first.size() + rest.size(), 38u);
}

TEST(SimFaults, DelayEveryKHoldsThoseRepliesBack) {
    SimProcess sim({"--delay-every", "2:400", "--no-pacing"});
    RawLine line(sim.DevicePath());
    line.Send(PRESENCE);
    EXPECT_EQ(line.Read(5), PRESENCE);
    const auto sent = Clock::now();
    line.Send(POSITION_REQUEST);
    EXPECT_EQ(line.Read(7), POSITION_REPLY);
    EXPECT_GE(MsSince(sent), 320.0);
}

TEST(SimFaults, NoiseSendsStrayBytesUnasked) {
    SimProcess sim({"--noise", "20"});
    RawLine line(sim.DevicePath());
    EXPECT_GE(line.Read(3, 5000).size(), 3u);
}

// A 7-byte request and a 38-byte reply take their time on a 9600-baud line.
// Only a lower bound: a busy machine may add any delay.
TEST(SimPacing, RecordExchangeTakesTheLineTime) {
    SimProcess sim({"--turnaround", "0"});
    RawLine line(sim.DevicePath());
    const auto sent = Clock::now();
    line.Send({1, 7, 10, 5, 0, 23, 0});
    EXPECT_EQ(line.Read(38).size(), 38u);
    EXPECT_GE(MsSince(sent), 0.8 * 45 * BYTE_MS);
}

TEST(SimCommandLine, RefusesBadOptionsAndArchivesWithStatus2) {
    TempDir dir;
    const std::string szShort = dir.File("short.bin");
    ASSERT_EQ(RunSimToExit({"--dump-archive", szShort}), 0);
    ASSERT_EQ(truncate(szShort.c_str(), 64055), 0);
    const std::vector<std::vector<std::string>> cases = {
        {"--bogus"},
        {"--position", "65536"},
        {"--position", "-1"},
        {"--seed", "x"},
        {"--drop-every", "0"},
        {"--delay-every", "3"},
        {"--silent=1"},
        {"--log"},
        {"--archive", szShort},
        {"--archive", dir.File("missing.bin")},
    };
    for (const auto& args : cases) {
        EXPECT_EQ(RunSimToExit(args), 2) << testing::PrintToString(args);
    }
    EXPECT_EQ(RunSimToExit({"--help"}), 0);
}

TEST(SimCommandLine, DumpIsDeterministicPerSeed) {
    TempDir dir;
    ASSERT_EQ(RunSimToExit({"--seed", "9", "--dump-archive", dir.File("a")}), 0);
    ASSERT_EQ(RunSimToExit({"--seed=9", "--dump-archive", dir.File("b")}), 0);
    ASSERT_EQ(RunSimToExit({"--seed", "10", "--dump-archive", dir.File("c")}), 0);
    const Bytes a = ReadFileBytes(dir.File("a"));
    EXPECT_EQ(a.size(), 64056u);
    EXPECT_EQ(a, ReadFileBytes(dir.File("b")));
    EXPECT_NE(a, ReadFileBytes(dir.File("c")));
    // The archive holds both reportable kinds and slots that are not.
    int nSamples = 0, nEmptyCells = 0, nOther = 0;
    for (size_t i = 0; i < 2000; ++i) {
        const uint8_t nKind = a[56 + i * 32 + 4];
        nSamples += nKind == 0x01;
        nEmptyCells += nKind == 0x81;
        nOther += nKind != 0x01 && nKind != 0x81;
    }
    EXPECT_GT(nSamples, 1000);
    EXPECT_GT(nEmptyCells, 100);
    EXPECT_GT(nOther, 50);
}

// SIGTERM ends the simulator with status 0 and takes its device link away.
TEST(SimProcessLife, TermSignalExitsCleanlyAndRemovesTheLink) {
    TempDir dir;
    const std::string szLink = dir.File("instrument");
    ASSERT_EQ(symlink("/nonexistent", szLink.c_str()), 0); // a stale link is replaced
    int out[2];
    ASSERT_EQ(pipe(out), 0);
    const pid_t pid = fork();
    if (pid == 0) {
        dup2(out[1], STDOUT_FILENO);
        close(out[0]);
        close(out[1]);
        execl(TARVEX_SIM_PATH, TARVEX_SIM_PATH, "--link", szLink.c_str(), nullptr);
        _exit(127);
    }
    close(out[1]);
    std::string szDevice;
    char c;
    pollfd pfd{out[0], POLLIN, 0};
    while (poll(&pfd, 1, 10000) > 0 && read(out[0], &c, 1) == 1 && c != '\n')
        szDevice += c;
    close(out[0]);
    char target[256] = {};
    EXPECT_GT(readlink(szLink.c_str(), target, sizeof target - 1), 0);
    EXPECT_EQ(std::string(target), szDevice);
    {
        RawLine line(szLink);
        line.Send(PRESENCE);
        EXPECT_EQ(line.Read(5), PRESENCE);
    }
    kill(pid, SIGTERM);
    int nStatus = 0;
    ASSERT_EQ(waitpid(pid, &nStatus, 0), pid);
    EXPECT_TRUE(WIFEXITED(nStatus) && WEXITSTATUS(nStatus) == 0);
    struct stat st {};
    EXPECT_NE(lstat(szLink.c_str(), &st), 0);
}

// Closing and reopening the port does not upset the simulator.
TEST(SimProcessLife, SurvivesThePortBeingReopened) {
    SimProcess sim({"--no-pacing"});
    for (int i = 0; i < 3; ++i) {
        RawLine line(sim.DevicePath());
        line.Send(PRESENCE);
        EXPECT_EQ(line.Read(5), PRESENCE) << "open " << i + 1;
    }
}

} // namespace
