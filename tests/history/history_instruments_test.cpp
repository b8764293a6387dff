// Instruments in the store: a download belongs to the instrument whose records
// it holds, the user names and joins them, and a file of the previous layout
// gets one instrument per device.
#include "history/record_store.h"
#include "tests/support/history_records.h"
#include "tests/support/sim_process.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <map>

using namespace history;

namespace {

DownloadEntry At(const std::string& device, std::optional<std::int64_t> instrument = {}) {
    DownloadEntry entry;
    entry.time = 1700000000;
    entry.port = "COM3";
    entry.device = device;
    entry.instrument = instrument;
    return entry;
}

std::vector<ArchiveRecord> Join(std::vector<ArchiveRecord> a, const std::vector<ArchiveRecord>& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

// Instrument of each stored sample.
std::map<int, std::int64_t> InstrumentOfSample(RecordStore& store, const Filter& filter = {}) {
    std::map<int, std::int64_t> of;
    store.forEachRecord(filter, [&](const StoredRecord& stored) {
        of[stored.record.sampleNumber()] = stored.instrument;
        return true;
    });
    return of;
}

TEST(HistoryInstruments, DownloadsBelongToTheInstrumentHoldingTheirRecords) {
    const TempDir dir;
    auto store = openHistory(dir.File("h.sqlite3"), OpenMode::ReadWrite);
    const MergeOutcome a = store->mergeDownload(At("/dev/ttyUSB0"), Records(1, 100));
    EXPECT_TRUE(a.newInstrument);
    // Another instrument on the same cable is told apart by what it holds.
    const MergeOutcome b = store->mergeDownload(At("/dev/ttyUSB0"), Records(1001, 1050));
    EXPECT_TRUE(b.newInstrument);
    EXPECT_NE(a.instrumentId, b.instrumentId);
    // The first one again, through another cable: its records say which it is.
    const MergeOutcome c = store->mergeDownload(At("/dev/ttyUSB1"), Records(51, 150));
    EXPECT_FALSE(c.newInstrument);
    EXPECT_EQ(c.instrumentId, a.instrumentId);
    // Known records of both: the one nearest the newest end decides.
    const MergeOutcome d =
        store->mergeDownload(At("/dev/ttyUSB1"), Join(Records(140, 160), Records(1045, 1060)));
    EXPECT_EQ(d.instrumentId, b.instrumentId);
    // A caller that knows the instrument is believed; empty slots make none.
    const MergeOutcome e =
        store->mergeDownload(At("/dev/ttyUSB1", a.instrumentId), Records(2000, 2010));
    EXPECT_EQ(e.instrumentId, a.instrumentId);
    const MergeOutcome empty =
        store->mergeDownload(At("/dev/ttyUSB2"), std::vector{MakeRecord(5000, 0x00)});
    EXPECT_EQ(empty.instrumentId, 0);
    EXPECT_FALSE(empty.newInstrument);

    auto of = InstrumentOfSample(*store);
    EXPECT_EQ(of[120], a.instrumentId); // new records take the download's instrument
    EXPECT_EQ(of[155], b.instrumentId);
    EXPECT_EQ(of[2005], a.instrumentId);
    EXPECT_EQ(InstrumentOfSample(*store, {.instrument = b.instrumentId}).size(), 50u + 10 + 10);
    EXPECT_EQ(store->instrumentHolding(MakeRecord(1055)), b.instrumentId);
    EXPECT_FALSE(store->instrumentHolding(MakeRecord(3000)));
    store->forEachRecord({.sample = 120}, [&](const StoredRecord& stored) {
        EXPECT_EQ(stored.download, c.downloadId); // the first download that saw it
        return true;
    });
    const auto logged = store->download(d.downloadId);
    ASSERT_TRUE(logged);
    EXPECT_EQ(logged->device, "/dev/ttyUSB1");
    EXPECT_EQ(logged->instrument, b.instrumentId);
    EXPECT_FALSE(store->download(999));

    const auto instruments = store->instruments();
    ASSERT_EQ(instruments.size(), 2u);
    EXPECT_EQ(instruments[0].records, 100 + 50 + 11);
    EXPECT_EQ(instruments[0].downloads, 3);
    EXPECT_EQ(instruments[0].device, "/dev/ttyUSB1");
    EXPECT_EQ(instruments[1].downloads, 2);
}

TEST(HistoryInstruments, NamedAndJoined) {
    const TempDir dir;
    auto store = openHistory(dir.File("h.sqlite3"), OpenMode::ReadWrite);
    const auto a = store->mergeDownload(At("/dev/ttyUSB0"), Records(1, 10)).instrumentId;
    const auto b = store->mergeDownload(At("/dev/ttyUSB0"), Records(101, 120)).instrumentId;
    const auto c = store->mergeDownload(At("/dev/ttyUSB0"), Records(201, 205)).instrumentId;
    store->nameInstrument(b, "7K-0412");
    EXPECT_THROW(store->nameInstrument(c, "7K-0412"), Error); // taken
    EXPECT_THROW(store->nameInstrument(99, "7K-0999"), Error);
    store->nameInstrument(b, "7K-0412"); // its own name again is fine
    // The archive of b was cleared: a is the same instrument.
    store->joinInstruments(a, b);
    EXPECT_THROW(store->joinInstruments(a, b), Error); // b is gone
    EXPECT_THROW(store->joinInstruments(a, a), Error);
    const auto instruments = store->instruments();
    ASSERT_EQ(instruments.size(), 2u);
    EXPECT_EQ(instruments[0].id, a);
    EXPECT_EQ(instruments[0].name, "7K-0412"); // taken over from the joined one
    EXPECT_EQ(instruments[0].records, 30);
    EXPECT_EQ(instruments[0].downloads, 2);
    EXPECT_EQ(store->instrumentHolding(MakeRecord(110)), a);
    store->nameInstrument(a, "");
    EXPECT_EQ(store->instruments()[0].name, "");
}

// A file written by the previous version: one instrument per device, records
// belong to the download that first saw them.
TEST(HistoryInstruments, OlderFileGetsOneInstrumentPerDevice) {
    const TempDir dir;
    const std::string path = dir.File("old.sqlite3");
    const std::string sql = dir.File("old.sql");
    std::ofstream(sql) << R"(
    CREATE TABLE records(id INTEGER PRIMARY KEY, key INTEGER NOT NULL, sample INTEGER NOT NULL,
        cell INTEGER NOT NULL, measured INTEGER, bytes BLOB NOT NULL);
    CREATE INDEX records_by_key ON records(key);
    CREATE INDEX records_by_sample ON records(sample, measured);
    CREATE TABLE downloads(id INTEGER PRIMARY KEY, time INTEGER NOT NULL, port TEXT NOT NULL,
        device TEXT NOT NULL, position INTEGER NOT NULL, count INTEGER NOT NULL,
        added INTEGER NOT NULL DEFAULT 0, empty_cells BLOB NOT NULL, last_record BLOB NOT NULL);
    CREATE INDEX downloads_by_device ON downloads(device, id);
    CREATE TABLE sightings(record INTEGER NOT NULL, download INTEGER NOT NULL,
        PRIMARY KEY(record, download)) WITHOUT ROWID;
    INSERT INTO downloads VALUES(1, 100, 'COM3', '/dev/ttyS2', 0, 2, 2, x'', x''),
        (2, 200, 'COM4', '/dev/ttyUSB0', 0, 1, 1, x'', x''),
        (3, 300, 'COM3', '/dev/ttyS2', 0, 2, 0, x'', x'');
    INSERT INTO records VALUES(1, 1, 11, 1, NULL, x'01'), (2, 2, 12, 1, NULL, x'02'),
        (3, 3, 13, 1, NULL, x'03');
    INSERT INTO sightings VALUES(1, 1), (2, 1), (1, 3), (2, 3), (3, 2);
    PRAGMA user_version = 1;
    )";
    ASSERT_EQ(std::system(("sqlite3 '" + path + "' < '" + sql + "'").c_str()), 0);
    auto store = openHistory(path, OpenMode::ReadWrite);
    const auto instruments = store->instruments();
    ASSERT_EQ(instruments.size(), 2u);
    EXPECT_EQ(instruments[0].device, "/dev/ttyS2");
    EXPECT_EQ(instruments[0].records, 2);
    EXPECT_EQ(instruments[0].downloads, 2);
    EXPECT_EQ(instruments[0].lastDownloadTime, 300);
    EXPECT_EQ(instruments[1].device, "/dev/ttyUSB0");
    EXPECT_EQ(instruments[1].records, 1);
    std::map<int, std::int64_t> download;
    store->forEachRecord({}, [&](const StoredRecord& stored) {
        download[stored.id] = stored.download;
        EXPECT_EQ(stored.instrument, stored.download == 2 ? instruments[1].id : instruments[0].id);
        return true;
    });
    EXPECT_EQ(download.size(), 3u);
    EXPECT_EQ(store->download(3)->instrument, instruments[0].id);
}

} // namespace
