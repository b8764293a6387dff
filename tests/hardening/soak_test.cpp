// Twenty downloads of 500 records in a row through one link, against an
// instrument that drops, corrupts, splits, delays and garbles replies at
// random (reproducibly, from a seed). Every file must equal the fault-free
// one, and the run must leave no descriptor, thread or memory behind.
#include <gtest/gtest.h>

#include <fstream>
#include <map>
#include <sys/resource.h>
#include <thread>

#include "tests/e2e/reader_process.h"
#include "tests/hardening/download_rig.h"

namespace {

constexpr int POSITION = 1234, RECORDS = 500, DOWNLOADS = 20;

long PeakResidentKiB() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

TEST(Soak, TwentyDownloadsUnderRandomFaultsAllEqualTheFaultFreeFile) {
    TempDir dir;
    const std::string expected = ExpectedFile(dir, "--seed 11", POSITION, RECORDS);
    ASSERT_FALSE(expected.empty());
    // Faults "seed:percent of replies hit:longest delay in ms". The delay
    // reaches past the reply time-out, so late replies are repeated and their
    // duplicates arrive as well.
    SimProcess sim({"--seed", "11", "--position", std::to_string(POSITION), "--no-pacing",
                    "--turnaround", "0", "--faults", "7:2:300", "--fault-log",
                    dir.File("faults.log")});
    ScopedComPort port(2, sim.DevicePath());

    // ThreadSanitizer starts a thread of its own with the first thread made;
    // make it exist before counting.
    std::thread([] {}).join();
    const auto fdsAndThreadsBefore = FdsAndThreads();
    {
        DownloadRig rig(RECORDS, 150);
        ASSERT_TRUE(rig.Start());
        std::pair<int, int> fdsAndThreadsRunning;
        long rssAfter5 = 0;
        for (int i = 1; i <= DOWNLOADS; ++i) {
            SCOPED_TRACE("download " + std::to_string(i));
            rig.m_szPath = dir.File("download" + std::to_string(i) + ".doc");
            // A give-up (five lost sends in a row) is followed by a new click.
            ASSERT_TRUE(rig.Download(std::chrono::seconds(60), 5));
            EXPECT_EQ(rig.m_szLastError, "");
            EXPECT_TRUE(ReadFile(rig.m_szPath) == expected) << "differs from the fault-free file";
            if (i == 1)
                fdsAndThreadsRunning = FdsAndThreads();
            if (i == 5)
                rssAfter5 = PeakResidentKiB();
        }
        EXPECT_EQ(FdsAndThreads(), fdsAndThreadsRunning);
        const long rssAfter20 = PeakResidentKiB();
#ifndef TARVEX_SANITIZED // sanitizer quarantines make resident memory grow
        EXPECT_LT(rssAfter20 - rssAfter5, 1024) << "KiB grown from download 5 to 20";
#endif
        // The fault log has a line per fault: reply number, kind, details.
        std::ifstream log(dir.File("faults.log"));
        std::map<std::string, int> faults;
        int total = 0;
        for (std::string number, kind, rest; log >> number >> kind && std::getline(log, rest);
             ++total)
            ++faults[kind];
        for (const auto& [kind, n] : faults)
            RecordProperty("faults_" + kind, n);
        std::printf("soak: %d faults injected, %d give-ups, peak RSS %ld -> %ld KiB\n", total,
                    rig.m_nNoAnswers, rssAfter5, rssAfter20);
        EXPECT_GT(total, 50); // the faults did happen
    }
    EXPECT_EQ(FdsAndThreads(), fdsAndThreadsBefore);
}

} // namespace
