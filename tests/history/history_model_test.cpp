// tarvex-read --new over months of a lab's use: model instruments write into
// their rings between downloads, tarvex-sim serves each ring as it is at the
// download, and one history takes every download. After each one, every
// reportable record still in the ring is in the history exactly once.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <map>
#include <sstream>
#include <thread>

#include "archive/results_writer.h"
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
    // One download with --new of the instrument as it is now, through the
    // cable named port (the same name is the same device to the history).
    Download Read(const ModelInstrument& instrument, const std::string& port, bool paced = false,
                  std::vector<std::string> extra = {}) {
        const std::string archive = m_dir.File(port + ".bin");
        const std::string log = m_dir.File(port + ".log");
        const std::string output = m_dir.File(port + ".doc");
        instrument.Save(archive);
        std::remove(log.c_str());
        std::remove(output.c_str());
        std::vector<std::string> simArgs = {
            "--archive", archive,          "--position", std::to_string(instrument.Position()),
            "--link",    m_dir.File(port), "--log",      log};
        if (!paced)
            simArgs.insert(simArgs.end(), {"--no-pacing", "--turnaround", "0"});
        SimProcess sim(simArgs);
        std::vector<std::string> args = {"--device", m_dir.File(port), "--new",  "--output",
                                         output,     "--database",     m_history};
        args.insert(args.end(), extra.begin(), extra.end());
        Download download;
        download.run = RunReader(args, m_dir.Path());
        sim.Kill();
        download.requests = RecordRequests(ReadFile(log));
        download.results = ReadFile(output);
        return download;
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

    const TempDir& Dir() const { return m_dir; }

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
        {"fresh history", 150, false, 150, 151, 0, "whole archive was new"},
        {"growth", 40, false, 40, 41, 0, "40 new records since the last download", true},
        {"nothing new", 0, false, 0, 1, 0, "No new records"},
        {"across the wrap", 1850, false, 1850, 1851, 0, "1850 new records since"},
        {"the ring came round exactly once", 2000, false, 2000, 2000, EXIT_MAY_HAVE_LOST,
         "may have been overwritten"},
        {"more than once", 2500, false, 2000, 2000, EXIT_MAY_HAVE_LOST, "at least every 2000"},
        {"a cleared archive", 700, true, 700, 701, 0, "whole archive was new"},
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

} // namespace
