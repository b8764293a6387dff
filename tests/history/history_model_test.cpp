// tarvex-read --new over months of a lab's use: model instruments write into
// their rings between downloads, tarvex-sim serves each ring as it is at the
// download, and one history takes every download. After each one, every
// reportable record still in the ring is in the history exactly once.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <map>
#include <memory>
#include <sstream>
#include <thread>

#include "archive/results_writer.h"
#include "history/download_session.h"
#include "history/record_store.h"
#include "tests/e2e/reader_process.h"
#include "tests/history/model_instrument.h"
#include "tests/support/sim_process.h"

namespace {

constexpr int EXIT_MAY_HAVE_LOST = 7;

struct Download {
    ReaderRun run;
    std::vector<int> requests; // record indices asked for, in order
    std::string results;       // the results file, empty when none was written
};

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

// Indices from the one before position back, count of them.
std::vector<int> Back(int position, int count) {
    std::vector<int> indices;
    for (int k = 1; k <= count; ++k)
        indices.push_back((position - k + 4000) % 2000);
    return indices;
}

class Lab {
public:
    // tarvex-sim serving the instrument's ring as it is now, behind the
    // link named port (the same name is the same device to the history).
    std::unique_ptr<SimProcess> Serve(const ModelInstrument& instrument, const std::string& port,
                                      bool paced = false) {
        const std::string archive = m_dir.File(port + ".bin");
        instrument.Save(archive);
        std::remove(m_dir.File(port + ".log").c_str());
        std::vector<std::string> args = {
            "--archive", archive,          "--position", std::to_string(instrument.Position()),
            "--link",    m_dir.File(port), "--log",      m_dir.File(port + ".log")};
        if (!paced)
            args.insert(args.end(), {"--no-pacing", "--turnaround", "0"});
        return std::make_unique<SimProcess>(args);
    }

    // tarvex-read --new from the instrument behind port.
    Download Run(const std::string& port, std::vector<std::string> extra = {}) {
        const std::string output = m_dir.File(port + ".doc");
        std::remove(output.c_str());
        std::vector<std::string> args = {"--device", m_dir.File(port), "--new",  "--output",
                                         output,     "--database",     m_history};
        args.insert(args.end(), extra.begin(), extra.end());
        Download download;
        download.run = RunReader(args, m_dir.Path());
        download.requests = RecordRequests(ReadFile(m_dir.File(port + ".log")));
        download.results = ReadFile(output);
        return download;
    }

    Download Read(const ModelInstrument& instrument, const std::string& port, bool paced = false,
                  std::vector<std::string> extra = {}) {
        const auto sim = Serve(instrument, port, paced);
        return Run(port, extra);
    }

    // Every reportable record of the ring is in the history, each stored once.
    void ExpectKept(const ModelInstrument& instrument) {
        std::map<std::string, int> stored;
        history::openHistory(m_history, history::OpenMode::ReadOnly)
            ->forEachRecord({}, [&](const history::StoredRecord& s) {
                ++stored[BytesOf(s.record)];
                return true;
            });
        int missing = 0;
        for (const std::string& record : instrument.InRing())
            missing += stored.count(record) == 0 ? 1 : 0;
        EXPECT_EQ(missing, 0) << "records of the ring not in the history";
        for (const auto& [record, count] : stored)
            ASSERT_EQ(count, 1) << "a record stored twice";
    }

    // The report the writer makes of the newest count records of the ring.
    std::string Report(const ModelInstrument& instrument, int count) {
        const std::string sealed = m_dir.File("sealed.bin");
        instrument.Save(m_dir.File("expected.bin"));
        const std::string dump = TARVEX_SIM_PATH " --archive " + m_dir.File("expected.bin") +
                                 " --dump-archive " + sealed;
        EXPECT_EQ(std::system(dump.c_str()), 0);
        std::memcpy(g_emptyCells.bytes, ReadFile(sealed).data(), sizeof g_emptyCells.bytes);
        for (int k = 0; k < count; ++k)
            g_records[k] = instrument.Slot(instrument.Position() - count + k);
        EXPECT_TRUE(WriteResultsToFile(m_dir.File("expected.doc"), count, 0, '.').ok);
        return ReadFile(m_dir.File("expected.doc"));
    }

    std::vector<history::InstrumentInfo> Instruments() {
        return history::openHistory(m_history, history::OpenMode::ReadOnly)->instruments();
    }

private:
    TempDir m_dir;
    std::string m_history = m_dir.File("h.sqlite3");
};

TEST(HistoryModel, OneInstrumentOverMonths) {
    Lab lab;
    ModelInstrument tester(1);
    struct Step {
        const char* name;
        int write;      // records written before the download
        bool clear;     // the archive erased first
        int newRecords; // records the file holds
        int exchanges;  // record requests
        int status;
        const char* says;
        bool paced = false;
    } steps[] = {
        {"fresh history", 150, false, 150, 150 + history::EMPTY_RUN_END, 0,
         "whole archive was new"},
        {"growth", 40, false, 40, 41, 0, "40 new records since the last download", true},
        {"nothing new", 0, false, 0, 1, 0, "No new records"},
        {"across the wrap", 1850, false, 1850, 1851, 0, "1850 new records since"},
        {"the ring came round exactly once", 2000, false, 2000, 2000, EXIT_MAY_HAVE_LOST,
         "may have been overwritten"},
        {"more than once", 2500, false, 2000, 2000, EXIT_MAY_HAVE_LOST, "at least every 2000"},
        {"a cleared archive", 700, true, 700, 700 + history::EMPTY_RUN_END, 0,
         "whole archive was new"},
        {"growth after it", 30, false, 30, 31, 0, "30 new records since"},
    };
    for (const Step& step : steps) {
        SCOPED_TRACE(step.name);
        if (step.clear)
            tester.Clear();
        tester.Write(step.write);
        const Download d = lab.Read(tester, "dev", step.paced);
        ASSERT_EQ(d.run.status, step.status) << d.run.err;
        EXPECT_NE(d.run.err.find(step.says), std::string::npos) << d.run.err;
        EXPECT_EQ(d.requests, Back(tester.Position(), step.exchanges));
        if (step.newRecords == 0)
            EXPECT_EQ(d.results, "");
        else // exactly the new records, oldest first
            EXPECT_TRUE(d.results == lab.Report(tester, step.newRecords));
        lab.ExpectKept(tester);
    }
    // A ring that came round, and a cleared archive, share no record with
    // what the history held: each is another instrument, for the user to join.
    EXPECT_EQ(lab.Instruments().size(), 4u);
}

// One laptop, two testers: each download belongs to the instrument whose
// records it meets, however the two take turns on the cable.
TEST(HistoryModel, TwoInstrumentsTakingTurnsOnOnePort) {
    Lab lab;
    ModelInstrument a(1), b(1000000);
    struct Turn {
        ModelInstrument& tester;
        int write, newRecords, exchanges;
    } turns[] = {{a, 300, 300, 300 + history::EMPTY_RUN_END},
                 {b, 500, 500, 500 + history::EMPTY_RUN_END},
                 {a, 200, 200, 201},
                 {b, 100, 100, 101},
                 {a, 0, 0, 1}};
    for (const Turn& turn : turns) {
        turn.tester.Write(turn.write);
        const Download d = lab.Read(turn.tester, "dev");
        ASSERT_EQ(d.run.status, 0) << d.run.err;
        EXPECT_EQ(d.requests.size(), static_cast<size_t>(turn.exchanges));
        lab.ExpectKept(a);
        lab.ExpectKept(b);
    }
    const auto instruments = lab.Instruments();
    ASSERT_EQ(instruments.size(), 2u);
    EXPECT_EQ(instruments[0].records, 500);
    EXPECT_EQ(instruments[0].downloads, 2); // the one with nothing new is not logged
    EXPECT_EQ(instruments[1].records, 600);
}

// Two testers on two cables, read at the same time on a paced line, into one
// history; then again after more measurements.
TEST(HistoryModel, TwoInstrumentsOnTwoPortsAtOnce) {
    Lab lab;
    ModelInstrument a(1), b(1000000);
    for (int round = 0; round < 2; ++round) {
        a.Write(40);
        b.Write(30);
        const auto simA = lab.Serve(a, "a", true);
        const auto simB = lab.Serve(b, "b", true);
        Download fromA, fromB;
        std::thread other([&] { fromA = lab.Run("a"); });
        fromB = lab.Run("b");
        other.join();
        ASSERT_EQ(fromA.run.status, 0) << fromA.run.err;
        ASSERT_EQ(fromB.run.status, 0) << fromB.run.err;
        // the empty stretch of a fresh ring, then a known record
        EXPECT_EQ(fromA.requests,
                  Back(a.Position(), round == 0 ? 40 + history::EMPTY_RUN_END : 41));
        EXPECT_TRUE(fromB.results == lab.Report(b, 30));
        lab.ExpectKept(a);
        lab.ExpectKept(b);
    }
    EXPECT_EQ(lab.Instruments().size(), 2u);
}

// A never-written slot between records is no end of what is new: the records
// beyond it are read and kept too.
TEST(HistoryModel, ALoneNeverWrittenSlotIsReadPast) {
    Lab lab;
    ModelInstrument tester(1);
    tester.Write(20);
    ASSERT_EQ(lab.Read(tester, "dev").run.status, 0);
    tester.Write(10);
    tester.Blank(1);
    tester.Write(10);
    const Download d = lab.Read(tester, "dev");
    ASSERT_EQ(d.run.status, 0) << d.run.err;
    EXPECT_NE(d.run.err.find("21 new records since"), std::string::npos) << d.run.err;
    EXPECT_EQ(d.requests, Back(tester.Position(), 22));
    lab.ExpectKept(tester);
    EXPECT_EQ(lab.Instruments().size(), 1u);
}

// --count caps the scan only when given; what it leaves is said.
TEST(HistoryModel, CountCapsTheScan) {
    Lab lab;
    ModelInstrument tester(1);
    tester.Write(100);
    const Download d = lab.Read(tester, "dev", false, {"--count", "25"});
    ASSERT_EQ(d.run.status, 0) << d.run.err;
    EXPECT_NE(d.run.err.find("--count 25 reached"), std::string::npos) << d.run.err;
    EXPECT_EQ(d.requests, Back(100, 25));
    EXPECT_TRUE(d.results == lab.Report(tester, 25));
}

} // namespace
