// tarvex-read and the measurement history against tarvex-sim: overlapping
// downloads, --new (moved, wrapped, nothing new, nothing logged, ring come
// round), two readers at once, and history files that cannot be written.
#include <cstring>
#include <fstream>
#include <gtest/gtest.h>
#include <optional>
#include <set>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

#include "archive/archive_record.h"
#include "archive/results_writer.h"
#include "history/record_store.h"
#include "tests/e2e/reader_process.h"
#include "tests/support/sim_process.h"

namespace {

constexpr int RECORD_BYTES = 32;
constexpr size_t ARCHIVE_BYTES = 56 + 2000 * RECORD_BYTES;

// The simulator's archive for a seed.
std::string Archive(const TempDir& dir, int seed) {
    const std::string dump = dir.File("archive" + std::to_string(seed) + ".bin");
    const std::string command =
        TARVEX_SIM_PATH " --seed " + std::to_string(seed) + " --dump-archive " + dump;
    EXPECT_EQ(std::system(command.c_str()), 0);
    const std::string archive = ReadFile(dump);
    EXPECT_EQ(archive.size(), ARCHIVE_BYTES);
    return archive;
}

ArchiveRecord Slot(const std::string& archive, int index) {
    ArchiveRecord r{};
    std::memcpy(r.bytes, archive.data() + 56 + RECORD_BYTES * ((index + 2000) % 2000),
                RECORD_BYTES);
    return r;
}

// Distinct reportable records in slots first .. first + count - 1 of the ring.
std::set<std::string> Reportable(const std::string& archive, int first, int count) {
    std::set<std::string> records;
    for (int k = 0; k < count; ++k) {
        const ArchiveRecord r = Slot(archive, first + k);
        if (r.IsReportable())
            records.emplace(reinterpret_cast<const char*>(r.bytes), RECORD_BYTES);
    }
    return records;
}

std::set<std::string> Stored(const std::string& path) {
    std::set<std::string> records;
    history::openHistory(path, history::OpenMode::ReadOnly)
        ->forEachRecord({}, [&](const history::StoredRecord& s) {
            records.emplace(reinterpret_cast<const char*>(s.record.bytes), RECORD_BYTES);
            return true;
        });
    return records;
}

// The writer's own report of count records ending before position.
std::string ExpectedReport(const TempDir& dir, const std::string& archive, int position,
                           int count) {
    std::memcpy(g_emptyCells.bytes, archive.data(), 56);
    for (int k = 0; k < count; ++k)
        g_records[k] = Slot(archive, position - count + k);
    const std::string path = dir.File("expected");
    EXPECT_TRUE(WriteResultsToFile(path, count, 0, '.').ok);
    return ReadFile(path);
}

// The simulated instrument behind a link that keeps its name across restarts,
// so the history sees one instrument.
struct Instrument {
    Instrument(const TempDir& dir, int position, int seed = 7, bool paced = false,
               const std::string& name = "dev") {
        std::vector<std::string> args = {
            "--seed", std::to_string(seed), "--position", std::to_string(position),
            "--link", dir.File(name),       "--log",      dir.File(name + ".log")};
        if (!paced)
            args.push_back("--no-pacing");
        std::remove(dir.File(name + ".log").c_str());
        sim.emplace(args);
        link = dir.File(name);
    }
    std::optional<SimProcess> sim;
    std::string link;
};

ReaderRun Read(const TempDir& dir, const std::string& device, std::vector<std::string> extra,
               const std::string& output = "out.doc") {
    std::vector<std::string> args = {"--device",           device,    "--output",
                                     dir.File(output),     "--force", "--database",
                                     dir.File("h.sqlite3")};
    args.insert(args.end(), extra.begin(), extra.end());
    return RunReader(args, dir.Path());
}

// The record indices asked for in a simulator log, in order.
std::vector<int> RecordRequests(const std::string& log) {
    std::vector<int> indices;
    std::istringstream lines(log);
    std::string line;
    while (std::getline(lines, line)) {
        unsigned code = 0, low = 0, high = 0;
        if (std::sscanf(line.c_str(), "01 07 %x %x %x", &code, &low, &high) == 3 && code == 10)
            indices.push_back(static_cast<int>(low | high << 8));
    }
    return indices;
}

std::vector<int> Range(int first, int count) {
    std::vector<int> indices;
    for (int k = 0; k < count; ++k)
        indices.push_back((first + k + 2000) % 2000);
    return indices;
}

TEST(HistoryReader, OverlappingDownloadsKeepTheUnionOnce) {
    const TempDir dir;
    const std::string archive = Archive(dir, 7);
    for (int position : {150, 200}) {
        Instrument instrument(dir, position);
        const ReaderRun run = Read(dir, instrument.link, {"--count", "100"});
        ASSERT_EQ(run.status, 0) << run.err;
        EXPECT_NE(run.err.find("History: "), std::string::npos) << run.err;
    }
    EXPECT_EQ(Stored(dir.File("h.sqlite3")), Reportable(archive, 50, 150));
    const auto stats =
        history::openHistory(dir.File("h.sqlite3"), history::OpenMode::ReadOnly)->stats();
    EXPECT_EQ(stats.downloads, 2);
}

struct NewCase {
    const char* name;
    int firstSeed, firstPosition, position;
    bool paced;
    std::vector<int> requests; // record indices of the --new run
    int written;               // records in its file (0: no file)
    const char* says;
};

TEST(HistoryReader, NewReadsOnlyWhatTheInstrumentWroteSince) {
    const NewCase cases[] = {
        // The check record (the last one stored) comes first, then the new ones.
        {"moved", 7, 150, 180, false, Range(149, 31), 30, "30 new records"},
        {"wrapped", 7, 1990, 30, true, Range(1989, 41), 40, "40 new records"},
        {"nothing new", 7, 150, 150, false, {}, 0, "No new records since the last download"},
        // Another archive before: the check fails and the full count is read.
        {"ring came round", 8, 150, 180, false,
         [] {
             auto r = Range(149, 31);
             auto full = Range(160, 20);
             r.insert(r.end(), full.begin(), full.end());
             return r;
         }(),
         20, "reading the last 20 records instead"},
    };
    for (const NewCase& c : cases) {
        SCOPED_TRACE(c.name);
        const TempDir dir;
        const std::string archive = Archive(dir, 7);
        {
            Instrument first(dir, c.firstPosition, c.firstSeed);
            ASSERT_EQ(Read(dir, first.link, {"--count", "100"}, "first.doc").status, 0);
        }
        Instrument instrument(dir, c.position, 7, c.paced);
        const ReaderRun run = Read(dir, instrument.link, {"--new", "--count", "20"});
        instrument.sim.reset();
        ASSERT_EQ(run.status, 0) << run.err;
        EXPECT_NE(run.err.find(c.says), std::string::npos) << run.err;
        EXPECT_EQ(RecordRequests(ReadFile(dir.File("dev.log"))), c.requests);
        if (c.written == 0) {
            EXPECT_EQ(access(dir.File("out.doc").c_str(), F_OK), -1);
            EXPECT_EQ(run.out, "");
            continue;
        }
        EXPECT_TRUE(ReadFile(dir.File("out.doc")) ==
                    ExpectedReport(dir, archive, c.position, c.written));
        // The history then holds every record of both downloads.
        std::set<std::string> expected = Reportable(archive, c.position - c.written, c.written);
        if (c.firstSeed == 7)
            expected.merge(Reportable(archive, c.firstPosition - 100, 100));
        else
            expected.merge(Reportable(Archive(dir, 8), c.firstPosition - 100, 100));
        EXPECT_EQ(Stored(dir.File("h.sqlite3")), expected);
    }
}

TEST(HistoryReader, NewWithNothingLoggedReadsTheCount) {
    const TempDir dir;
    Instrument instrument(dir, 500);
    const ReaderRun run = Read(dir, instrument.link, {"--new", "--count", "15"});
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_NE(run.err.find("logged yet"), std::string::npos) << run.err;
    EXPECT_EQ(RecordRequests(ReadFile(dir.File("dev.log"))), Range(485, 15));
}

TEST(HistoryReader, TwoReadersMergeAtOnce) {
    const TempDir dir;
    const std::string archive = Archive(dir, 7);
    Instrument a(dir, 300, 7, false, "a");
    Instrument b(dir, 500, 7, false, "b");
    ReaderRun runA, runB;
    std::thread other([&] { runA = Read(dir, a.link, {"--count", "300"}, "a.doc"); });
    runB = Read(dir, b.link, {"--count", "300"}, "b.doc");
    other.join();
    ASSERT_EQ(runA.status, 0) << runA.err;
    ASSERT_EQ(runB.status, 0) << runB.err;
    EXPECT_EQ(runA.err.find("NOT updated"), std::string::npos) << runA.err;
    EXPECT_EQ(runB.err.find("NOT updated"), std::string::npos) << runB.err;
    EXPECT_EQ(Stored(dir.File("h.sqlite3")), Reportable(archive, 0, 500));
}

// Runs the reader as an ordinary user when the tests run as root, for whom
// no file is read-only.
ReaderRun ReadAsUser(const TempDir& dir, const Instrument& instrument) {
    const std::vector<std::string> args = {"--count", "5"};
    if (geteuid() != 0)
        return Read(dir, instrument.link, args);
    chmod(dir.Path().c_str(), 0777);
    chmod(instrument.sim->DevicePath().c_str(), 0666);
    const pid_t child = fork();
    if (child == 0) {
        if (setgid(65534) != 0 || setuid(65534) != 0)
            _exit(99);
        const ReaderRun run = Read(dir, instrument.link, args);
        std::ofstream(dir.File("err.txt")) << run.err;
        _exit(run.status);
    }
    int status = 0;
    waitpid(child, &status, 0);
    return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, "", ReadFile(dir.File("err.txt"))};
}

// A history that cannot be written costs only a warning and the remedy: the
// file is there.
TEST(HistoryReader, UnwritableHistoryNeverCostsTheDownload) {
    std::unique_ptr<history::RecordStore> holder; // a program run as root, still open
    const std::vector<std::pair<const char*, std::function<void(const std::string&)>>> cases = {
        {"corrupt", [](const std::string& path) { std::ofstream(path) << std::string(5000, 'z'); }},
        {"read-only",
         [](const std::string& path) {
             history::openHistory(path, history::OpenMode::ReadWrite);
             chmod(path.c_str(), 0444);
         }},
        {"lock files of another user",
         [&](const std::string& path) {
             holder = history::openHistory(path, history::OpenMode::ReadWrite);
             holder->stats(); // the -shm is made at the first read
             chmod(path.c_str(), 0666);
         }},
    };
    for (const auto& [name, make] : cases) {
        SCOPED_TRACE(name);
        if (geteuid() != 0 && std::string(name) == "lock files of another user")
            continue; // needs a second user
        const TempDir dir;
        const std::string archive = Archive(dir, 7);
        const std::string path = dir.File("h.sqlite3");
        make(path);
        const std::string before = ReadFile(path);
        Instrument instrument(dir, 700, 7, true);
        const ReaderRun run = ReadAsUser(dir, instrument);
        ASSERT_EQ(run.status, 0) << run.err;
        EXPECT_NE(run.err.find("history was NOT updated"), std::string::npos) << run.err;
        if (holder) {
            EXPECT_NE(run.err.find(path + "-shm"), std::string::npos) << run.err;
            EXPECT_NE(run.err.find("sudo chown"), std::string::npos) << run.err;
        }
        EXPECT_TRUE(ReadFile(dir.File("out.doc")) == ExpectedReport(dir, archive, 700, 5));
        EXPECT_TRUE(ReadFile(path) == before);
        holder.reset();
    }
}

} // namespace
