// tarvex-read and the measurement history against tarvex-sim: overlapping
// downloads, two readers at once, and history files that cannot be written.
// --new is tried in history_model_test.cpp.
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
