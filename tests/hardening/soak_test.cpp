// Twenty downloads of 500 records in a row through one link, against an
// instrument that drops, corrupts, splits, delays and garbles replies at
// random (reproducibly, from a seed). Every file must equal the fault-free
// one, and the run must leave no descriptor, thread or memory behind.
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <map>
#include <thread>

#include "tests/hardening/download_rig.h"
#include "tests/support/sim_process.h"

namespace {

constexpr int SIM_SEED = 11;
constexpr int POSITION = 1234;
constexpr int RECORDS = 500;
constexpr int DOWNLOADS = 20;
// Fault seed : percent of replies hit : longest delay of a late reply (ms).
// The delay reaches past the reply time-out, so late replies are repeated
// and their duplicates arrive as well.
constexpr const char* FAULTS = "7:2:300";
constexpr int REPLY_TIMEOUT_MS = 150;

std::map<std::string, int> CountFaults(const std::string& logPath) {
    std::map<std::string, int> counts;
    std::ifstream log(logPath);
    for (std::string number, kind, rest; log >> number >> kind;) {
        ++counts[kind];
        std::getline(log, rest);
    }
    return counts;
}

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
constexpr bool SANITIZED = true; // sanitizer quarantines make resident memory grow
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer)
constexpr bool SANITIZED = true;
#else
constexpr bool SANITIZED = false;
#endif
#else
constexpr bool SANITIZED = false;
#endif

TEST(Soak, TwentyDownloadsUnderRandomFaultsAllEqualTheFaultFreeFile) {
    TempDir dir;
    const std::string dumpCommand = std::string(TARVEX_SIM_PATH) + " --seed " +
                                    std::to_string(SIM_SEED) + " --dump-archive " +
                                    dir.File("archive.bin");
    ASSERT_EQ(std::system(dumpCommand.c_str()), 0);
    ASSERT_TRUE(
        WriteExpectedFile(dir.File("archive.bin"), POSITION, RECORDS, dir.File("expected.doc")));
    const std::string expected = ReadWholeFile(dir.File("expected.doc"));
    ASSERT_FALSE(expected.empty());

    SimProcess sim({"--seed", std::to_string(SIM_SEED), "--position", std::to_string(POSITION),
                    "--no-pacing", "--turnaround", "0", "--faults", FAULTS, "--fault-log",
                    dir.File("faults.log")});
    ASSERT_FALSE(sim.DevicePath().empty());
    ScopedComPort port(2, sim.DevicePath());

    // ThreadSanitizer starts a thread of its own with the first thread made;
    // make it exist before counting.
    std::thread([] {}).join();
    const int fdsBefore = CountEntries("/proc/self/fd");
    const int threadsBefore = CountEntries("/proc/self/task");
    int fdsRunning = 0, threadsRunning = 0;
    long rssAfter5 = 0, rssAfter20 = 0;
    int noAnswers = 0;
    {
        DownloadRig rig;
        rig.m_host.m_nCount = RECORDS;
        rig.m_sequence.m_nReplyTimeout = REPLY_TIMEOUT_MS;
        rig.m_link.PortNumber(2);
        ASSERT_EQ(rig.m_link.Start(&rig.m_target), 1);

        for (int i = 1; i <= DOWNLOADS; ++i) {
            rig.m_host.m_szPath = dir.File("download" + std::to_string(i) + ".doc");
            // A give-up (five lost sends in a row) is followed by a new click.
            ASSERT_TRUE(rig.Download(std::chrono::seconds(60), 5, &noAnswers))
                << "download " << i << " did not finish";
            EXPECT_EQ(rig.m_host.m_szLastError, "") << "download " << i;
            EXPECT_TRUE(ReadWholeFile(rig.m_host.m_szPath) == expected)
                << "download " << i << " differs from the fault-free file";
            if (i == 1) {
                fdsRunning = CountEntries("/proc/self/fd");
                threadsRunning = CountEntries("/proc/self/task");
            }
            if (i == 5)
                rssAfter5 = ResidentKiB();
        }
        rssAfter20 = ResidentKiB();
        EXPECT_EQ(CountEntries("/proc/self/fd"), fdsRunning);
        EXPECT_EQ(CountEntries("/proc/self/task"), threadsRunning);
    }
    EXPECT_EQ(CountEntries("/proc/self/fd"), fdsBefore);
    EXPECT_EQ(CountEntries("/proc/self/task"), threadsBefore);
    if (!SANITIZED) {
        EXPECT_LT(rssAfter20 - rssAfter5, 1024) << "KiB grown from download 5 to 20";
    }

    const std::map<std::string, int> faults = CountFaults(dir.File("faults.log"));
    int total = 0;
    std::string summary;
    for (const auto& [kind, n] : faults) {
        total += n;
        summary += kind + "=" + std::to_string(n) + " ";
        RecordProperty("faults_" + kind, n);
    }
    RecordProperty("faults_total", total);
    RecordProperty("no_answers", noAnswers);
    std::printf("soak: %d downloads of %d records, faults injected: %d (%s), give-ups: %d, "
                "RSS %ld -> %ld KiB\n",
                DOWNLOADS, RECORDS, total, summary.c_str(), noAnswers, rssAfter5, rssAfter20);
    EXPECT_GT(total, 50); // the faults did happen
}

} // namespace
