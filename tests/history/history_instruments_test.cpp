// Instruments in the store: a download belongs to the instrument whose records
// it holds, the user names and joins them, and a file of the previous layout
// gets one instrument per device.
#include "history/history_care.h"
#include "history/record_store.h"
#include "tests/history/store_contract.h"
#include "tests/support/history_records.h"
#include "tests/support/sim_process.h"

#include <gtest/gtest.h>

#include <cstdlib>

using namespace history;

namespace {

// Each call a download of its own (one second later): a store may know a
// download again by what the log keeps of it.
DownloadEntry At(const std::string& device, std::optional<std::int64_t> instrument = {}) {
    static std::int64_t time = 1700000000;
    return DownloadEntry{
        .time = ++time, .port = "COM3", .device = device, .instrument = instrument};
}

std::int64_t InstrumentOf(RecordStore& store, int sample) {
    std::int64_t instrument = -1;
    store.forEachRecord({.sample = sample}, [&](const StoredRecord& s) {
        instrument = s.instrument;
        return false;
    });
    return instrument;
}

// Every store: the history file and the shared one on a server.
class HistoryInstrumentsContract : public StoreContract {};
INSTANTIATE_TEST_SUITE_P(Stores, HistoryInstrumentsContract, EVERY_STORE);

TEST_P(HistoryInstrumentsContract, DownloadsBelongToTheInstrumentHoldingTheirRecords) {
    auto store = Open();
    const MergeOutcome a = store->mergeDownload(At("/dev/ttyUSB0"), Records(1, 100));
    // Another instrument on the same cable, then the first through another cable.
    const MergeOutcome b = store->mergeDownload(At("/dev/ttyUSB0"), Records(1001, 1050));
    const MergeOutcome c = store->mergeDownload(At("/dev/ttyUSB1"), Records(51, 150));
    EXPECT_TRUE(a.newInstrument && b.newInstrument && !c.newInstrument);
    EXPECT_NE(a.instrumentId, b.instrumentId);
    EXPECT_EQ(c.instrumentId, a.instrumentId);
    // Known records of both: the one nearest the newest end decides.
    auto both = Records(140, 160);
    for (const ArchiveRecord& r : Records(1045, 1060))
        both.push_back(r);
    EXPECT_EQ(store->mergeDownload(At("/dev/ttyUSB1"), both).instrumentId, b.instrumentId);
    // A caller that knows the instrument is believed; empty slots make none.
    EXPECT_EQ(store->mergeDownload(At("x", a.instrumentId), Records(2000, 2010)).instrumentId,
              a.instrumentId);
    EXPECT_EQ(store->mergeDownload(At("x"), std::vector{MakeRecord(9, 0x00)}).instrumentId, 0);

    EXPECT_EQ(InstrumentOf(*store, 120), a.instrumentId); // new records take the download's
    EXPECT_EQ(InstrumentOf(*store, 155), b.instrumentId);
    EXPECT_EQ(store->instrumentHolding(MakeRecord(1055)), b.instrumentId);
    EXPECT_FALSE(store->instrumentHolding(MakeRecord(3000)));
    int ofB = 0;
    store->forEachRecord({.instrument = b.instrumentId}, [&](const StoredRecord& s) {
        ofB += s.download == b.downloadId ? 1 : 0; // the first download that saw it
        return true;
    });
    EXPECT_EQ(ofB, 50);
    EXPECT_EQ(store->download(c.downloadId)->instrument, a.instrumentId);
    EXPECT_EQ(store->download(c.downloadId)->device, "/dev/ttyUSB1");
    const auto instruments = store->instruments();
    ASSERT_EQ(instruments.size(), 2u);
    EXPECT_EQ(instruments[0].records, 100 + 50 + 11);
    EXPECT_EQ(instruments[0].downloads, 3);
    EXPECT_EQ(instruments[1].records, 50 + 10 + 10);
}

TEST_P(HistoryInstrumentsContract, NamedAndJoined) {
    auto store = Open();
    const auto a = store->mergeDownload(At("d"), Records(1, 10)).instrumentId;
    const auto b = store->mergeDownload(At("d"), Records(101, 120)).instrumentId;
    const auto c = store->mergeDownload(At("d"), Records(201, 205)).instrumentId;
    store->nameInstrument(b, "7K-0412");
    store->nameInstrument(b, "7K-0412"); // its own name again
    EXPECT_THROW(store->nameInstrument(c, "7K-0412"), Error);
    EXPECT_THROW(store->nameInstrument(99, "7K-0999"), Error);
    store->joinInstruments(a, b); // b's archive was cleared: it is a
    EXPECT_THROW(store->joinInstruments(a, b), Error);
    EXPECT_THROW(store->joinInstruments(a, a), Error);
    const auto instruments = store->instruments();
    ASSERT_EQ(instruments.size(), 2u);
    EXPECT_EQ(instruments[0].name, "7K-0412"); // taken over from the joined one
    EXPECT_EQ(instruments[0].records, 30);
    EXPECT_EQ(instruments[0].downloads, 2);
    EXPECT_EQ(store->instrumentHolding(MakeRecord(110)), a);
}

// A file of the previous layout: one instrument per device, in the order of
// their first downloads; records belong to the download that first saw them.
TEST(HistoryInstruments, OlderFileGetsOneInstrumentPerDevice) {
    const TempDir dir;
    const std::string path = dir.File("old.sqlite3");
    {
        auto store = openHistory(path, OpenMode::ReadWrite);
        store->mergeDownload(At("/dev/ttyS2"), Records(1, 10));
        store->mergeDownload(At("/dev/ttyUSB0"), Records(5, 20));
        store->mergeDownload(At("/dev/ttyS2"), Records(1, 30));
    }
    const char* backToLayout1 =
        "DROP INDEX records_by_instrument; DROP INDEX downloads_by_instrument;"
        "ALTER TABLE records DROP COLUMN instrument; ALTER TABLE records DROP COLUMN download;"
        "ALTER TABLE downloads DROP COLUMN instrument; DROP TABLE instruments; DROP TABLE pending;"
        "PRAGMA user_version = 1;";
    ASSERT_EQ(std::system(("sqlite3 '" + path + "' '" + backToLayout1 + "'").c_str()), 0);
    auto store = openHistory(path, OpenMode::ReadWrite);
    const auto instruments = store->instruments();
    ASSERT_EQ(instruments.size(), 2u);
    EXPECT_EQ(instruments[0].device, "/dev/ttyS2");
    EXPECT_EQ(instruments[0].records, 10 + 10);
    EXPECT_EQ(instruments[0].downloads, 2);
    EXPECT_EQ(instruments[1].records, 10);
    EXPECT_EQ(InstrumentOf(*store, 15), instruments[1].id);
    EXPECT_EQ(InstrumentOf(*store, 25), instruments[0].id);
}

// Recovered rows whose instrument was lost (a damaged page of the instruments,
// an older layout) are given one again: every record is some instrument's.
TEST(HistoryInstruments, RecoveryGivesLostInstrumentsBack) {
    const TempDir dir;
    const std::string path = dir.File("h.sqlite3");
    {
        auto store = openHistory(path, OpenMode::ReadWrite);
        store->mergeDownload(At("/dev/ttyS2"), Records(1, 10));
        store->mergeDownload(At("/dev/ttyUSB0"), Records(101, 120));
    }
    const char* loseThem = "DELETE FROM instruments; UPDATE records SET instrument = NULL "
                           "WHERE id % 2 = 0; UPDATE downloads SET instrument = NULL WHERE id = 2;";
    ASSERT_EQ(std::system(("sqlite3 '" + path + "' '" + loseThem + "'").c_str()), 0);
    recoverHistory(path);
    auto store = openHistory(path, OpenMode::ReadOnly);
    std::int64_t held = 0;
    for (const InstrumentInfo& instrument : store->instruments())
        held += instrument.records;
    EXPECT_EQ(held, 30);
    EXPECT_EQ(store->instruments().size(), 2u);
}

} // namespace
