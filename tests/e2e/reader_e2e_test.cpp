// tarvex-read against tarvex-sim on a pseudo-terminal: the file it writes
// must equal the writer's output for the simulator's own archive, whatever
// the line does to the replies, and each failure ends with its exit status.
#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <set>
#include <sys/wait.h>

#include "archive/archive_record.h"
#include "archive/results_writer.h"
#include "link/frame.h"
#include "tests/e2e/reader_process.h"
#include "tests/support/sim_process.h"

namespace {

// The simulator's archive in the download's order for this position and
// count, put into the store and written by the writer itself.
std::string ExpectedResults(const TempDir& dir, int position, int count, int bExcelTable,
                            const std::string& archiveArgs = "") {
    const std::string dump = dir.File("archive.bin");
    const std::string command =
        TARVEX_SIM_PATH " --seed 7 " + archiveArgs + " --dump-archive " + dump;
    EXPECT_EQ(std::system(command.c_str()), 0);
    const std::string archive = ReadFile(dump);
    if (archive.size() != 56u + 2000u * 32u)
        return "archive of " + std::to_string(archive.size()) + " bytes";
    std::memcpy(g_emptyCells.bytes, archive.data(), 56);
    for (int k = 0, index = (position - count + 2000) % 2000; k < count;
         ++k, index = (index + 1) % 2000)
        std::memcpy(g_records[k].bytes, archive.data() + 56 + 32 * index, 32);
    const std::string path = dir.File("expected");
    EXPECT_TRUE(WriteResultsToFile(path, count, bExcelTable, decimalSeparator()).ok);
    return ReadFile(path);
}

struct DownloadCase {
    const char* name;
    int position, count, bExcelTable;
    std::vector<std::string> faults;
    // Long enough that a reply slowed by a busy machine is not repeated and
    // then stored twice; short where replies are lost on purpose.
    const char* timeout = "3000";
};

class ReaderDownload : public testing::TestWithParam<DownloadCase> {};

TEST_P(ReaderDownload, WritesTheWritersOutputForTheSimulatorsArchive) {
    const DownloadCase& c = GetParam();
    TempDir dir;
    std::vector<std::string> simArgs = c.faults;
    simArgs.insert(simArgs.end(), {"--seed", "7", "--position", std::to_string(c.position), "--log",
                                   dir.File("sim.log")});
    if (c.faults.empty())
        simArgs.push_back("--no-pacing"); // fault cases run on a paced line
    SimProcess sim(simArgs);
    ASSERT_FALSE(sim.DevicePath().empty());

    // An existing file is refused, before the instrument is asked anything, unless forced.
    const std::string output = dir.File("out");
    std::ofstream(output) << "keep me";
    std::vector<std::string> args = {"--count",   std::to_string(c.count),
                                     "--device",  sim.DevicePath(),
                                     "--output",  output,
                                     "--timeout", c.timeout};
    args.push_back(c.bExcelTable ? "--table" : "--report");
    EXPECT_EQ(RunReader(args, dir.Path()).status, 5);
    EXPECT_EQ(ReadFile(output), "keep me");
    args.push_back("--force");
    const ReaderRun run = RunReader(args, dir.Path());
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_TRUE(ReadFile(output) == ExpectedResults(dir, c.position, c.count, c.bExcelTable))
        << "results differ from the writer's output";
    if (!c.faults.empty())
        return;

    // Without faults the log holds each frame once: presence, then the download.
    std::string expected = "01 05 0b 11 00\n01 05 0c 12 00\n";
    for (int k = 0; k < c.count; ++k) {
        uint8_t f[7];
        char line[24];
        BuildCommandFrame(f, CMD_READ_RECORD, (c.position - c.count + 2000 + k) % 2000);
        std::snprintf(line, sizeof line, "01 07 0a %02x %02x %02x %02x\n", f[3], f[4], f[5], f[6]);
        expected += line;
    }
    std::string log = ReadFile(dir.File("sim.log"));
    while (log.starts_with("01 05 ff 05 01\n"))
        log.erase(0, 15);
    EXPECT_EQ(log, expected + "01 05 ff 05 01\n");
}

INSTANTIATE_TEST_SUITE_P(
    Archive, ReaderDownload,
    testing::Values(DownloadCase{"Report", 150, 100, 0, {}},
                    DownloadCase{"TableWrapsAtTheRingEnd", 30, 100, 1, {}},
                    DownloadCase{"DroppedReplies", 150, 40, 0, {"--drop-every", "12"}, "1000"},
                    // A corrupted reply taken anyway would show as a wrong tgD.
                    DownloadCase{"CorruptedReplies", 150, 40, 1, {"--corrupt-every", "9"}, "1000"},
                    DownloadCase{"SplitReplies", 150, 40, 0, {"--split"}}),
    [](const testing::TestParamInfo<DownloadCase>& info) { return info.param.name; });

// On a paced line, with a reply time-out of 1 s: late replies (at the first
// record, in the middle, at the last, two in a row; just past the time-out
// and up to two time-outs late), a stretch of equal records with and without
// them, and noise. The file must equal the fault-free one, and the requests
// stay close to one a record.
TEST(ReaderUnderFaults, WritesTheFaultFreeFileWithFewExtraRequests) {
    // Replies: 1 presence, 2 position, 3 cells, 4.. the 20 records; each
    // repeat adds the number of its copy. Records 130..149 are read.
    const std::string same = "--same-records 132:145";
    const struct {
        const char* name;
        std::vector<std::string> simArgs;
        int extraRequests; // at most
        std::string archiveArgs = "";
    } cases[] = {
        {"first record 1.1 s late", {"--delay-at", "4:1100"}, 1},
        {"middle record two time-outs late", {"--delay-at", "13:2000"}, 2},
        {"last record 1.1 s late", {"--delay-at", "23:1100"}, 1},
        {"two records in a row late", {"--delay-at", "10,12:1100"}, 2},
        {"equal records", {"--same-records", "132:145"}, 0, same},
        {"equal records, late replies",
         {"--same-records", "132:145", "--delay-at", "8,12:1100"},
         4,
         same},
        // A stray byte costs at most the repeat of the reply it lands in; how
        // many land in one depends on how busy the machine keeps the line.
        {"a stray byte a second", {"--noise", "1000"}, 6},
        {"a stray byte every 300 ms", {"--noise", "300"}, 20},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TempDir dir;
        std::vector<std::string> simArgs = c.simArgs;
        simArgs.insert(simArgs.end(),
                       {"--seed", "7", "--position", "150", "--log", dir.File("sim.log")});
        SimProcess sim(simArgs);
        ASSERT_FALSE(sim.DevicePath().empty());
        const ReaderRun run = RunReader({"--count", "20", "--device", sim.DevicePath(), "--output",
                                         dir.File("out"), "--timeout", "1000"},
                                        dir.Path(), 120);
        ASSERT_EQ(run.status, 0) << run.err;
        EXPECT_TRUE(ReadFile(dir.File("out")) == ExpectedResults(dir, 150, 20, 0, c.archiveArgs))
            << "differs from the fault-free file";
        int requests = 0;
        std::ifstream log(dir.File("sim.log"));
        for (std::string line; std::getline(log, line);)
            requests += line.starts_with("01 07 0a");
        EXPECT_GE(requests, 20);
        EXPECT_LE(requests, 20 + c.extraRequests);
    }
}

// Copies of one request that all come after its time-outs, and a line on
// which every reply outlasts the time-out: each copy comes after the reply
// taken, and none may be stored as the next record.
TEST(ReaderUnderFaults, LateCopiesAreNeverStoredAsAnotherRecord) {
    std::string everyReply;
    for (int n = 2; n <= 60; ++n)
        everyReply += (n > 2 ? "," : "") + std::to_string(n);
    const struct {
        const char* name;
        std::vector<std::string> simArgs;
        int count;
    } cases[] = {
        {"three copies of one request, each 2.2 s late", {"--delay-at", "5,6,7:2200"}, 8},
        {"every reply 1.2 s late", {"--delay-at", everyReply + ":1200"}, 4},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TempDir dir;
        std::vector<std::string> simArgs = c.simArgs;
        simArgs.insert(simArgs.end(), {"--seed", "7", "--position", "150"});
        SimProcess sim(simArgs);
        ASSERT_FALSE(sim.DevicePath().empty());
        const ReaderRun run =
            RunReader({"--count", std::to_string(c.count), "--device", sim.DevicePath(), "--output",
                       dir.File("out"), "--timeout", "1000"},
                      dir.Path(), 120);
        ASSERT_EQ(run.status, 0) << run.err;
        EXPECT_TRUE(ReadFile(dir.File("out")) == ExpectedResults(dir, 150, c.count, 0))
            << "differs from the fault-free file";
    }
}

TEST(ReaderFailures, UnansweredRequestEndsWithStatus4AndNoFile) {
    TempDir dir;
    // The fifth reply comes a minute late and holds back every later one.
    SimProcess sim({"--no-pacing", "--delay-every", "5:60000"});
    ASSERT_FALSE(sim.DevicePath().empty());
    const ReaderRun run = RunReader({"--count", "50", "--device", sim.DevicePath(), "--output",
                                     dir.File("out.doc"), "--timeout", "300"},
                                    dir.Path());
    EXPECT_EQ(run.status, 4) << run.err;
    EXPECT_FALSE(std::ifstream(dir.File("out.doc")).good());
}

TEST(ReaderFailures, BadArgumentsEndWithStatus2BeforeTouchingAnything) {
    TempDir dir;
    for (const char* szCount : {"0", "2001", "-5", "+5", " 5", "5x", "12345678901234567890",
                                "4294967396", "abc", "", "\t5", "5 5", "1e3", "0x10",
                                "\xd9\xa3" /* Arabic-Indic 3 */, "99999999999999999999999999"}) {
        const ReaderRun run = RunReader({"--count", szCount}, dir.Path());
        EXPECT_EQ(run.status, 2) << szCount;
        EXPECT_NE(run.err.find("Неправильно введено количество записей (1...2000)"),
                  std::string::npos)
            << run.err;
    }
    for (const std::vector<std::string>& args :
         std::vector<std::vector<std::string>>{{"--bogus"},
                                               {"--format", "odt"},
                                               {"--format"},
                                               {"--format=XLSX"},
                                               {"--format", "pdf", "--table"},
                                               {"--report", "--format=xlsx"}})
        EXPECT_EQ(RunReader(args, dir.Path()).status, 2) << args.back();
    EXPECT_FALSE(std::ifstream(dir.File("Vextar.ini")).good());
}

// Scheduled runs into one folder: each --new run that finds records leaves a
// file of its own, named with the date and time, even in a second whose name
// an earlier file has; one with nothing new leaves none.
// results_YYYY-MM-DD_HH-MM-SS.doc, or with _N before the suffix. (No
// std::regex: GCC 12 warns inside it under the sanitizers.)
bool IsStampedName(const std::string& name) {
    const std::string shape = "results_####-##-##_##-##-##";
    if (name.size() < shape.size() + 4 || name.substr(name.size() - 4) != ".doc")
        return false;
    for (std::size_t i = 0; i < shape.size(); ++i)
        if (shape[i] == '#' ? !std::isdigit(static_cast<unsigned char>(name[i]))
                            : name[i] != shape[i])
            return false;
    const std::string tail = name.substr(shape.size(), name.size() - 4 - shape.size());
    return tail.empty() || (tail.size() > 1 && tail[0] == '_' &&
                            std::all_of(tail.begin() + 1, tail.end(), [](char c) {
                                return std::isdigit(static_cast<unsigned char>(c)) != 0;
                            }));
}

TEST(ReaderOutputDir, EveryRunLeavesAFileOfItsOwn) {
    namespace fs = std::filesystem;
    TempDir dir;
    const std::string folder = dir.File("results");
    fs::create_directories(folder);
    // Earlier files named for every second the runs may start in.
    std::set<std::string> earlier;
    for (std::time_t t = std::time(nullptr), end = t + 60; t < end; ++t) {
        char name[64];
        std::tm local{};
        std::strftime(name, sizeof name, "results_%Y-%m-%d_%H-%M-%S.doc", localtime_r(&t, &local));
        std::ofstream(folder + "/" + name) << "earlier";
        earlier.insert(name);
    }
    std::vector<std::string> written;
    for (const auto& [position, says] : std::vector<std::pair<int, std::string>>{
             {300, ": 5 records\n"}, {303, ": 3 records\n"}, {303, ""}}) {
        SimProcess sim(
            {"--seed", "7", "--position", std::to_string(position), "--link", dir.File("dev")});
        ASSERT_FALSE(sim.DevicePath().empty());
        const ReaderRun run = RunReader(
            {"--new", "--count", "5", "--device", dir.File("dev"), "--output-dir", folder},
            dir.Path(), 240, dir.File("h.sqlite3"));
        ASSERT_EQ(run.status, 0) << run.err;
        if (says.empty()) {
            EXPECT_EQ(run.out, "");
            continue;
        }
        ASSERT_NE(run.out.find(says), std::string::npos) << run.out;
        written.push_back(run.out.substr(0, run.out.find(": ")));
    }
    std::set<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder))
        names.insert(entry.path().filename().string());
    for (const std::string& name : earlier) {
        EXPECT_EQ(ReadFile(folder + "/" + name), "earlier") << name;
        names.erase(name);
    }
    ASSERT_EQ(names.size(), 2u);
    ASSERT_EQ(written.size(), 2u);
    EXPECT_NE(written[0], written[1]);
    for (const std::string& path : written) {
        const std::string name = fs::path(path).filename().string();
        EXPECT_EQ(names.count(name), 1u) << path;
        EXPECT_TRUE(IsStampedName(name)) << name;
        EXPECT_GT(ReadFile(path).size(), 100u) << path;
    }
}

// Under systemd the reader's output is the journal: no progress lines, and
// the run's last line says what became of it, at a priority that fits.
TEST(ReaderOutputDir, TheJournalGetsOneSummaryLineARun) {
    TempDir dir;
    SimProcess sim({"--seed", "7", "--link", dir.File("dev")});
    ASSERT_FALSE(sim.DevicePath().empty());
    const auto journal = [&](const std::string& device, int status) {
        const std::string log = dir.File("journal");
        const std::string command = "cd '" + dir.Path() +
                                    "' && : >journal && JOURNAL_STREAM=$(stat -c %d:%i journal) " +
                                    TARVEX_READ_PATH " --count 5 --no-history --device " + device +
                                    " --output-dir results >>journal 2>&1";
        const int result = std::system(command.c_str());
        EXPECT_TRUE(WIFEXITED(result) && WEXITSTATUS(result) == status) << result;
        const std::string text = ReadFile(log);
        EXPECT_EQ(text.find("records 1/"), std::string::npos) << text;
        const size_t last = text.rfind('\n', text.size() - 2);
        return text.substr(last == std::string::npos ? 0 : last + 1);
    };
    EXPECT_EQ(
        journal(dir.File("dev"), 0).rfind("<5>done: 5 records written to results/results_", 0), 0u);
    EXPECT_EQ(journal(dir.File("none"), 3),
              "<3>failed: instrument not found, no file written (exit status 3)\n");
}

// The dated default name holds one download a day: a second one is refused
// before the instrument is asked anything, and told how to write another file.
TEST(ReaderFailures, TodaysDatedNameTakenPointsToOutputAndOutputDir) {
    TempDir dir;
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    char name[40];
    std::strftime(name, sizeof name, "results%d_%m_%y.doc", localtime_r(&now, &local));
    std::ofstream(dir.File(name)) << "first";
    const ReaderRun second = RunReader({"--no-history", "--device", dir.File("none")}, dir.Path());
    EXPECT_EQ(second.status, 5);
    for (const char* hint : {"exists", "--output PATH", "--output-dir DIR", "--force"})
        EXPECT_NE(second.err.find(hint), std::string::npos) << hint << ": " << second.err;
    EXPECT_EQ(ReadFile(dir.File(name)), "first");
    // A name the user gave is theirs: only --force is the way past it.
    const ReaderRun named =
        RunReader({"--no-history", "--output", name, "--device", dir.File("none")}, dir.Path());
    EXPECT_EQ(named.status, 5);
    EXPECT_EQ(named.err.find("--output-dir"), std::string::npos) << named.err;
}

} // namespace
