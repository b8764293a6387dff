// The history store on its own: merging, the kill of a merge, files it
// cannot use, and the pieces the filters are made of.
#include "history/download_history.h"
#include "history/record_fields.h"
#include "history/record_store.h"
#include "tests/history/store_contract.h"
#include "tests/support/history_records.h"
#include "tests/support/sim_process.h"

#include <gtest/gtest.h>

#include <csignal>
#include <cstring>
#include <fstream>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <unordered_map>
#include <vector>

using namespace history;

namespace {

DownloadEntry Entry(int position, int count) {
    DownloadEntry entry;
    entry.time = 1700000000;
    entry.port = "COM3";
    entry.device = "/dev/ttyUSB0";
    entry.position = position;
    entry.count = count;
    return entry;
}

std::vector<int> Samples(RecordStore& store, const Filter& filter = {}) {
    std::vector<int> samples;
    store.forEachRecord(filter, [&](const StoredRecord& stored) {
        samples.push_back(stored.record.sampleNumber());
        return true;
    });
    return samples;
}

// Every store: the history file and the shared one on a server.
class HistoryStoreContract : public StoreContract {};
INSTANTIATE_TEST_SUITE_P(Stores, HistoryStoreContract, EVERY_STORE);

TEST_P(HistoryStoreContract, MergesEachRecordOnceAndLogsEveryDownload) {
    auto store = Open();
    auto first = Records(1, 100);
    first.push_back(MakeRecord(500, 0x00)); // not reportable: not kept
    const MergeOutcome a = store->mergeDownload(Entry(101, 101), first);
    const MergeOutcome b = store->mergeDownload(Entry(150, 100), Records(51, 150));
    EXPECT_EQ(a.added, 100);
    EXPECT_EQ(a.known, 0);
    EXPECT_EQ(b.added, 50);
    EXPECT_EQ(b.known, 50);
    const Stats stats = store->stats();
    EXPECT_EQ(stats.records, 150);
    EXPECT_EQ(stats.downloads, 2);
    EXPECT_EQ(Samples(*store, {.sample = 77}), std::vector<int>{77});
    EXPECT_EQ(Samples(*store, {.cell = 1}).size(), 25u); // n % 6 == 0
    // Minutes 10:05..10:07 of that day hold samples 5..7, 65..67, 125..127.
    const Filter window{.from = minutesOf(2021, 3, 5, 10, 5), .to = minutesOf(2021, 3, 5, 10, 7)};
    EXPECT_EQ(Samples(*store, window), (std::vector<int>{5, 65, 125, 6, 66, 126, 7, 67, 127}));
    const auto last = store->lastDownload("/dev/ttyUSB0");
    ASSERT_TRUE(last);
    EXPECT_EQ(last->position, 150);
    EXPECT_FALSE(store->lastDownload("/dev/ttyUSB1"));
}

// Two different records whose keys collide are two records, each found again.
TEST_P(HistoryStoreContract, RecordsSharingAKeyStayApart) {
    std::unordered_map<std::int64_t, int> seen;
    int a = -1, b = -1;
    for (int n = 0; n < 1 << 22 && a < 0; ++n) {
        const auto [it, inserted] = seen.emplace(recordKey(MakeRecord(n)), n);
        if (!inserted) {
            a = it->second;
            b = n;
        }
    }
    ASSERT_GE(a, 0) << "no two keys collide";
    auto store = Open();
    const std::vector<ArchiveRecord> pair = {MakeRecord(a), MakeRecord(b)};
    EXPECT_EQ(store->mergeDownload(Entry(1, 2), pair).added, 2);
    const MergeOutcome again = store->mergeDownload(Entry(2, 2), pair);
    EXPECT_EQ(again.added, 0);
    EXPECT_EQ(again.known, 2);
}

// A download may hold one record twice (the archive wrapped round): kept once.
TEST_P(HistoryStoreContract, EqualRecordsOfOneDownloadMergeOnce) {
    auto store = Open();
    const MergeOutcome outcome =
        store->mergeDownload(Entry(3, 3), std::vector{MakeRecord(7), MakeRecord(8), MakeRecord(7)});
    EXPECT_EQ(outcome.added, 2);
    EXPECT_EQ(outcome.known, 1);
    EXPECT_EQ(store->stats().records, 2);
}

// A process killed inside the merge leaves the history as it was before.
TEST_P(HistoryStoreContract, KilledMergeLeavesHistoryAsBefore) {
    const std::string path = Location();
    openHistory(path, OpenMode::ReadWrite)->mergeDownload(Entry(10, 10), Records(1, 10));
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        auto store = openHistory(path, OpenMode::ReadWrite);
        store->mergeDownload(Entry(2000, 2000), Records(1, 2000), [](int done) {
            if (done >= 1500)
                raise(SIGKILL);
        });
        _exit(0); // not reached
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFSIGNALED(status));
    auto store = openHistory(path, OpenMode::ReadWrite);
    EXPECT_EQ(store->stats().records, 10);
    EXPECT_EQ(store->stats().downloads, 1);
    EXPECT_EQ(store->mergeDownload(Entry(20, 20), Records(1, 20)).added, 10);
}

void WriteBytes(const std::string& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary) << bytes;
}

// Files the history cannot use: the merge says why and never throws.
TEST(HistoryStore, UnusableFilesAreReportedNotThrown) {
    const TempDir dir;
    struct Case {
        const char* name;
        std::function<std::string()> make; // returns the path
        Error::Kind kind;
    };
    const Case cases[] = {
        {"no database",
         [&] {
             const std::string path = dir.File("corrupt.sqlite3");
             WriteBytes(path, std::string(8192, 'x'));
             return path;
         },
         Error::Kind::NotOurs},
        {"read-only",
         [&] {
             const std::string path = dir.File("ro.sqlite3");
             openHistory(path, OpenMode::ReadWrite)->mergeDownload(Entry(1, 1), Records(1, 1));
             chmod(path.c_str(), 0444);
             return path;
         },
         Error::Kind::ReadOnly},
        {"folder cannot be made",
         [&] {
             WriteBytes(dir.File("plain"), "x");
             return dir.File("plain/sub/h.sqlite3");
         },
         Error::Kind::CannotOpen},
        {"newer layout",
         [&] {
             const std::string path = dir.File("new.sqlite3");
             openHistory(path, OpenMode::ReadWrite);
             std::system(("sqlite3 '" + path + "' 'PRAGMA user_version = 99'").c_str());
             return path;
         },
         Error::Kind::TooNew},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        if (c.kind == Error::Kind::ReadOnly && geteuid() == 0)
            continue; // root writes read-only files; the reader's test covers it
        const std::string path = c.make();
        const MergeReport report = mergeIntoHistory(path, Entry(5, 5), Records(1, 5));
        ASSERT_TRUE(report.failure);
        EXPECT_FALSE(report.outcome);
        EXPECT_EQ(report.failure->kind, c.kind) << report.failure->message;
        EXPECT_NE(report.failure->message.find(path.substr(0, path.rfind('/'))), std::string::npos);
    }
}

// A disk that fills up mid-merge: reported, and the history stays usable.
TEST(HistoryStore, FullDiskMidMerge) {
    const TempDir dir;
    const std::string path = dir.File("h.sqlite3");
    openHistory(path, OpenMode::ReadWrite)->mergeDownload(Entry(10, 10), Records(1, 10));
    MergeReport report;
    {
        const FileSizeLimit limit(200 * 1024);
        ASSERT_TRUE(limit.Active());
        report = mergeIntoHistory(path, Entry(2000, 2000), Records(1000, 9000));
    }
    ASSERT_TRUE(report.failure);
    EXPECT_EQ(report.failure->kind, Error::Kind::DiskFull) << report.failure->message;
    auto store = openHistory(path, OpenMode::ReadWrite);
    EXPECT_EQ(store->stats().records, 10);
}

TEST(HistoryStore, DatesAndClockStamps) {
    EXPECT_EQ(parseDate("2021-03-05", false), minutesOf(2021, 3, 5));
    EXPECT_EQ(parseDate("05.03.2021", true), minutesOf(2021, 3, 5, 23, 59));
    for (const char* bad : {"2021-02-30", "2021-3-5", "5.3.2021", "2021-03-05x", "yesterday",
                            "0000-01-01", "29.02.2100"})
        EXPECT_FALSE(parseDate(bad, false)) << bad;
    // Any real date is a bound, the clock's years (2000 to 2099) or not.
    EXPECT_EQ(parseDate("1999-12-31", false), -24 * 60);
    EXPECT_EQ(parseDate("31.12.2099", true), lastClockMinute());
    EXPECT_EQ(parseDate("01.01.2100", false), lastClockMinute() + 1);
    EXPECT_EQ(formatMinutes(*parseDate("1900-03-01", false)), "1900-03-01 00:00");
    EXPECT_EQ(formatMinutes(*minutesOf(2024, 2, 29, 23, 58)), "2024-02-29 23:58");
    ArchiveRecord r = MakeRecord(7);
    EXPECT_EQ(measuredAt(r), minutesOf(2021, 3, 5, 10, 7));
    r.bytes[11] = 0x1A; // no BCD day
    EXPECT_FALSE(measuredAt(r));
    r.bytes[11] = 0x31;
    r.bytes[12] = 0x04; // 31 April
    EXPECT_FALSE(measuredAt(r));
}

} // namespace
