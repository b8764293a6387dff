// tarvex-read against tarvex-sim on a pseudo-terminal: the file it writes
// must equal the writer's output for the simulator's own archive, whatever
// the line does to the replies, and each failure ends with its exit status.
#include <csignal>
#include <cstring>
#include <fstream>
#include <gtest/gtest.h>
#include <iterator>
#include <sstream>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

#include "archive/archive_record.h"
#include "archive/results_writer.h"
#include "link/frame.h"
#include "tests/e2e/reader_process.h"
#include "tests/support/sim_process.h"

namespace {

constexpr int SIM_SEED = 7;

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// The simulator writes its archive and exits; it opens no device for that.
bool DumpArchive(const std::string& path) {
    const pid_t pid = fork();
    if (pid == 0) {
        execl(TARVEX_SIM_PATH, TARVEX_SIM_PATH, "--seed", std::to_string(SIM_SEED).c_str(),
              "--dump-archive", path.c_str(), static_cast<char*>(nullptr));
        _exit(127);
    }
    int status = 0;
    return pid > 0 && waitpid(pid, &status, 0) == pid && WIFEXITED(status) &&
           WEXITSTATUS(status) == 0;
}

// The simulator's archive in the download's order for this position and
// count, put into the store and written by the writer itself.
std::string ExpectedResults(const TempDir& dir, int position, int count, int bExcelTable) {
    const std::string dump = dir.File("archive.bin");
    EXPECT_TRUE(DumpArchive(dump));
    const std::string archive = ReadFile(dump);
    EXPECT_EQ(archive.size(), 56u + 2000u * 32u);
    if (archive.size() != 56u + 2000u * 32u)
        return {};
    std::memcpy(g_emptyCells.bytes, archive.data(), 56);
    int index = static_cast<int16_t>(position - count);
    if (index < 0)
        index += 2000;
    for (int k = 0; k<count; ++k, index = index + 1> 1999 ? 0 : index + 1)
        std::memcpy(g_records[k].bytes, archive.data() + 56 + 32 * (index % 2000), 32);
    const std::string path = dir.File(bExcelTable ? "expected.xls" : "expected.doc");
    EXPECT_TRUE(WriteResultsToFile(path, count, bExcelTable, decimalSeparator()).ok);
    return ReadFile(path);
}

std::vector<std::string> SimArgs(int position, std::vector<std::string> extra) {
    std::vector<std::string> args = {"--seed", std::to_string(SIM_SEED), "--position",
                                     std::to_string(position)};
    args.insert(args.end(), extra.begin(), extra.end());
    return args;
}

struct DownloadCase {
    const char* name;
    int position;
    int count;
    int bExcelTable;
    std::vector<std::string> simFaults; // on top of --no-pacing unless paced
    bool paced = false;
    // Long enough that a reply slowed by a busy machine is not repeated and
    // then stored twice; short enough that the dropped replies cost little.
    const char* timeout = "3000";
};

class ReaderDownload : public ::testing::TestWithParam<DownloadCase> {};

TEST_P(ReaderDownload, WritesTheWritersOutputForTheSimulatorsArchive) {
    const DownloadCase& c = GetParam();
    TempDir dir;
    std::vector<std::string> extra = c.simFaults;
    if (!c.paced)
        extra.push_back("--no-pacing");
    SimProcess sim(SimArgs(c.position, extra));
    ASSERT_FALSE(sim.DevicePath().empty());

    const std::string output = dir.File(c.bExcelTable ? "out.xls" : "out.doc");
    std::vector<std::string> args = {"--count",   std::to_string(c.count),
                                     "--device",  sim.DevicePath(),
                                     "--output",  output,
                                     "--timeout", "1000"};
    args.push_back(c.bExcelTable ? "--table" : "--report");
    ReaderRun run = RunReader(args, dir.Path());
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_NE(run.out.find(output), std::string::npos);
    EXPECT_NE(run.out.find(std::to_string(c.count) + " records"), std::string::npos) << run.out;
    const std::string expected = ExpectedResults(dir, c.position, c.count, c.bExcelTable);
    ASSERT_FALSE(expected.empty());
    EXPECT_TRUE(ReadFile(output) == expected) << "results differ from the writer's output";
}

INSTANTIATE_TEST_SUITE_P(
    Archive, ReaderDownload,
    ::testing::Values(
        DownloadCase{"Position150", 150, 100, 0, {}},
        DownloadCase{"WrapsAtTheRingEnd", 30, 100, 1, {}},
        DownloadCase{"WholeRingFrom1999", 1999, 2000, 1, {}},
        DownloadCase{"PositionMinusOne", 65535, 50, 0, {}}, DownloadCase{"OneRecord", 0, 1, 1, {}},
        DownloadCase{"Paced", 150, 20, 0, {}, true},
        DownloadCase{"DroppedReplies", 150, 100, 0, {"--drop-every", "25"}, false, "1500"},
        DownloadCase{"CorruptedReplies", 150, 100, 1, {"--corrupt-every", "30"}, false, "1500"},
        DownloadCase{"SplitReplies", 150, 100, 0, {"--split"}}),
    [](const ::testing::TestParamInfo<DownloadCase>& info) { return info.param.name; });

std::vector<std::string> LogLines(const std::string& path) {
    std::vector<std::string> lines;
    std::istringstream in(ReadFile(path));
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    return lines;
}

std::string RecordRequest(int index) {
    uint8_t frame[7];
    BuildCommandFrame(frame, CMD_READ_RECORD, static_cast<uint16_t>(index));
    char text[32];
    std::snprintf(text, sizeof text, "01 07 0a %02x %02x %02x %02x", frame[3], frame[4], frame[5],
                  frame[6]);
    return text;
}

TEST(ReaderTraffic, SendsPresenceThenPositionCellsRecordsAndTheClosingFrame) {
    TempDir dir;
    const std::string log = dir.File("sim.log");
    SimProcess sim(SimArgs(30, {"--no-pacing", "--log", log}));
    ASSERT_FALSE(sim.DevicePath().empty());
    ReaderRun run =
        RunReader({"--count", "100", "--device", sim.DevicePath(), "--output", dir.File("out.doc")},
                  dir.Path());
    ASSERT_EQ(run.status, 0) << run.err;

    std::vector<std::string> lines = LogLines(log);
    size_t i = 0;
    while (i < lines.size() && lines[i] == "01 05 ff 05 01")
        ++i;
    ASSERT_GE(i, 1u) << "no presence frame first";
    std::vector<std::string> expected = {"01 05 0b 11 00", "01 05 0c 12 00"};
    for (int k = 0; k < 100; ++k)
        expected.push_back(RecordRequest((1930 + k) % 2000));
    expected.push_back("01 05 ff 05 01");
    EXPECT_EQ(std::vector<std::string>(lines.begin() + static_cast<long>(i), lines.end()),
              expected);
}

TEST(ReaderTraffic, PortSettingIsReadAndSaved) {
    TempDir dir;
    SimProcess sim(SimArgs(150, {"--no-pacing"}));
    ASSERT_FALSE(sim.DevicePath().empty());
    ScopedComPort com7(7, sim.DevicePath());
    ReaderRun run =
        RunReader({"--count", "3", "--port", "7", "--output", dir.File("a.doc")}, dir.Path());
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_NE(run.err.find("COM7"), std::string::npos) << run.err;
    EXPECT_NE(ReadFile(dir.File("Vextar.ini")).find("7"), std::string::npos);

    // The saved port is where the next run starts.
    ReaderRun again = RunReader({"--count", "3", "--output", dir.File("b.doc")}, dir.Path());
    ASSERT_EQ(again.status, 0) << again.err;
    EXPECT_NE(again.err.find("COM7"), std::string::npos) << again.err;
}

TEST(ReaderFailures, ExistingFileIsKeptUnlessForced) {
    TempDir dir;
    SimProcess sim(SimArgs(150, {"--no-pacing"}));
    ASSERT_FALSE(sim.DevicePath().empty());
    const std::string output = dir.File("out.doc");
    std::ofstream(output) << "keep me";
    const std::vector<std::string> args = {"--count",        "5",        "--device",
                                           sim.DevicePath(), "--output", output};
    ReaderRun refused = RunReader(args, dir.Path());
    EXPECT_EQ(refused.status, 5) << refused.err;
    EXPECT_EQ(ReadFile(output), "keep me");

    std::vector<std::string> forced = args;
    forced.push_back("--force");
    EXPECT_EQ(RunReader(forced, dir.Path()).status, 0);
    EXPECT_NE(ReadFile(output), "keep me");
}

TEST(ReaderFailures, UnwritableFileEndsWithStatus5AndTheReason) {
    TempDir dir;
    SimProcess sim(SimArgs(150, {"--no-pacing"}));
    ASSERT_FALSE(sim.DevicePath().empty());
    ReaderRun run = RunReader(
        {"--count", "5", "--device", sim.DevicePath(), "--output", dir.File("missing/out.doc")},
        dir.Path());
    EXPECT_EQ(run.status, 5);
    EXPECT_NE(run.err.find("No such file or directory"), std::string::npos) << run.err;
}

TEST(ReaderFailures, SilentDeviceIsNotFound) {
    TempDir dir;
    SimProcess sim({"--silent", "--no-pacing"});
    ASSERT_FALSE(sim.DevicePath().empty());
    ReaderRun run = RunReader({"--device", sim.DevicePath()}, dir.Path());
    EXPECT_EQ(run.status, 3) << run.err;
    EXPECT_NE(run.err.find("Связь НЕ установлена."), std::string::npos) << run.err;
}

// The instrument stops answering (stopped process) or vanishes (killed, the
// pseudo-terminal hangs up) once the download is under way.
class ReaderLosesTheInstrument : public ::testing::TestWithParam<int> {};

TEST_P(ReaderLosesTheInstrument, EndsWithStatus4AndNoFile) {
    const int sig = GetParam();
    TempDir dir;
    SimProcess sim(SimArgs(150, {}));
    ASSERT_FALSE(sim.DevicePath().empty());
    const pid_t pid = sim.Pid();
    bool signalled = false;
    ReaderRun run = RunReader({"--count", "2000", "--device", sim.DevicePath(), "--output",
                               dir.File("out.doc"), "--timeout", "200"},
                              dir.Path(), [&](const std::string& line) {
                                  // Paced, 2000 records take over a minute: the
                                  // first tenth is far from the end.
                                  if (!signalled && line.rfind("records ", 0) == 0) {
                                      kill(pid, sig);
                                      signalled = true;
                                  }
                              });
    if (sig == SIGSTOP)
        kill(pid, SIGCONT);
    EXPECT_TRUE(signalled) << run.err;
    EXPECT_FALSE(run.timedOut);
    EXPECT_EQ(run.status, 4) << run.err;
    EXPECT_FALSE(std::ifstream(dir.File("out.doc")).good());
}

INSTANTIATE_TEST_SUITE_P(Signals, ReaderLosesTheInstrument, ::testing::Values(SIGSTOP, SIGKILL),
                         [](const ::testing::TestParamInfo<int>& info) {
                             return info.param == SIGSTOP ? "Stopped" : "Killed";
                         });

struct BadArgs {
    std::vector<std::string> args;
    bool countRefused;
};

class ReaderUsage : public ::testing::TestWithParam<BadArgs> {};

TEST_P(ReaderUsage, RefusesWithStatus2BeforeTouchingAnything) {
    TempDir dir;
    ReaderRun run = RunReader(GetParam().args, dir.Path(), {}, 30);
    EXPECT_EQ(run.status, 2) << run.err;
    EXPECT_EQ(run.err.find("Неправильно введено количество записей (1...2000)") !=
                  std::string::npos,
              GetParam().countRefused)
        << run.err;
    EXPECT_FALSE(std::ifstream(dir.File("Vextar.ini")).good());
}

INSTANTIATE_TEST_SUITE_P(
    Arguments, ReaderUsage,
    ::testing::Values(BadArgs{{"--count", "0"}, true}, BadArgs{{"--count", "2001"}, true},
                      BadArgs{{"--count", "+5"}, true}, BadArgs{{"--count", " 5"}, true},
                      BadArgs{{"--count=1e3"}, true},
                      BadArgs{{"--count", "12345678901234567890"}, true},
                      BadArgs{{"--count", "4294967396"}, true}, BadArgs{{"--count"}, false},
                      BadArgs{{"--bogus"}, false}, BadArgs{{"--table", "--report"}, false},
                      BadArgs{{"--timeout", "0"}, false}));

} // namespace
