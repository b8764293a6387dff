// Faults around the download rather than in it: the device disappears (in the
// middle of a download or before the search), the results file cannot be
// written, the settings file is garbage, huge, read-only or a directory. The
// program must end or go on with a clear outcome, without spinning, and lose
// nothing it had.
#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/profile_file.h"
#include "tests/e2e/reader_process.h"
#include "tests/hardening/download_rig.h"

namespace {

using namespace std::chrono_literals;

// Hands on link events for (at least) two seconds, meanwhile the process must
// use well under a tenth of a core: under 0.2 s of CPU time.
void ExpectNoSpinning(DownloadRig& rig, const char* szWhen) {
    const std::clock_t cpu0 = std::clock();
    rig.Pump(2s);
    EXPECT_LT(double(std::clock() - cpu0) / CLOCKS_PER_SEC, 0.2) << szWhen;
}

TEST(DeviceLoss, KilledMidDownloadEndsAtOnceSaysDisconnectedAndDoesNotSpin) {
    TempDir dir;
    SimProcess sim({"--seed", "3", "--position", "600"}); // paced: still running at the kill
    ScopedComPort port(2, sim.DevicePath());
    DownloadRig rig(400, 3000);
    std::chrono::steady_clock::time_point killedAt;
    rig.m_onProgress = [&](int pos) {
        if (pos == 10) {
            sim.Kill(SIGKILL);
            killedAt = std::chrono::steady_clock::now();
        }
    };
    ASSERT_TRUE(rig.Start());

    // The request ends at once with the reason, not after four repeats.
    EXPECT_FALSE(rig.Download(30s));
    EXPECT_EQ(rig.m_nNoAnswers, 1);
    EXPECT_EQ(rig.m_nWritten, 0);
    ASSERT_TRUE(rig.PumpUntil([&] { return rig.m_lastBox.has_value(); }, 10s));
    const auto& box = rig.m_lastBox;
    EXPECT_LT(box->at - killedAt, 2500ms) << "the first repeat would be due after 3 s";
    EXPECT_NE(box->text.find("прибор отключен"), std::string::npos) << box->text;
    EXPECT_EQ(rig.m_szLastStatus, " Прибор отключен.");
    EXPECT_EQ(rig.m_link.DeviceGone(), 1);
    EXPECT_EQ(g_szStatusSuffix[0], '\0') << "nothing is being read any more";
    ExpectNoSpinning(rig, "after the kill");

    // The link sends nothing more: a new device on the same port name hears nothing.
    SimProcess again({"--seed", "3", "--position", "600", "--log", dir.File("again.log")});
    ScopedComPort portAgain(2, again.DevicePath());
    EXPECT_FALSE(rig.Download(2s));
    EXPECT_EQ(ReadFile(dir.File("again.log")), "") << "the new device was sent something";
}

// In the link: its box and status text, and no spinning after. In the
// headless reader: status 3 and no file.
TEST(DeviceLoss, GoneBeforeTheSearchEndsTheSearchWithItsBox) {
    // The device under a name of the test's own: the number of a freed
    // pseudo-terminal may go to another test's line at once, this name never.
    TempDir deviceDir;
    const std::string device = deviceDir.File("instrument");
    ASSERT_FALSE(SimProcess({"--link", device}).DevicePath().empty()); // ended and reaped here
    ASSERT_NE(access(device.c_str(), F_OK), 0) << "the device is still there";
    ScopedComPort com1(1, device), com2(2, device), com3(3, device), com4(4, device);
    DownloadRig rig;
    ASSERT_TRUE(rig.Start());
    const auto box = rig.m_target.WaitFor(LinkEvent::Box, "", 30s);
    ASSERT_TRUE(box.has_value()) << "no search-failure box";
    EXPECT_NE(box->text.find("Прибор не подключен"), std::string::npos) << box->text;
    EXPECT_TRUE(rig.m_target.WaitFor(LinkEvent::Status, " Связь НЕ установлена.", 10s));
    ExpectNoSpinning(rig, "after the failed search");
    TempDir dir;
    const ReaderRun run = RunReader(
        {"--count", "3", "--device", device, "--output", dir.File("out.doc")}, dir.Path());
    EXPECT_EQ(run.status, 3) << run.err;
    EXPECT_NE(run.err.find("Связь НЕ установлена."), std::string::npos) << run.err;
    EXPECT_FALSE(std::ifstream(dir.File("out.doc")).good());
}

TEST(FullDisk, ReaderEndsWithStatus5AndTheLinkWritesTheNextFileWhole) {
    if (access("/dev/full", W_OK) != 0)
        GTEST_SKIP() << "/dev/full is not available";
    TempDir dir;
    SimProcess sim({"--no-pacing", "--turnaround", "0", "--position", "150"});
    const ReaderRun run = RunReader(
        {"--count", "20", "--device", sim.DevicePath(), "--output", "/dev/full", "--force"},
        dir.Path());
    EXPECT_EQ(run.status, 5) << run.err;
    EXPECT_NE(run.err.find(std::strerror(ENOSPC)), std::string::npos) << run.err;

    // Through one link: the failed write is reported, the next one is whole.
    ScopedComPort port(2, sim.DevicePath());
    DownloadRig rig(50);
    ASSERT_TRUE(rig.Start());
    rig.m_szPath = "/dev/full";
    ASSERT_TRUE(rig.Download(60s));
    EXPECT_EQ(rig.m_szLastError, std::strerror(ENOSPC));
    rig.m_szPath = dir.File("second.doc");
    ASSERT_TRUE(rig.Download(60s));
    EXPECT_EQ(rig.m_szLastError, "");
    // Read before the expected file is made: that goes through the same store.
    const std::string got = ReadFile(rig.m_szPath);
    EXPECT_TRUE(!got.empty() && got == ExpectedFile(dir, "", 150, 50));
}

// The device is named on the command line, so the download works whatever
// the settings file is; afterwards the file is as it was, or a good file that
// keeps every old byte and holds the port.
TEST(SettingsFile, DownloadWorksAndTheFileIsOldOrGoodNeverCut) {
    const std::string good = "[Velmare - 7K]\nCOM Port 1_4=3\n";
    // Beyond the size that is read: never rewritten, so never cut.
    const std::string huge = good + std::string(PROFILE_MAX_FILE_SIZE + 4096, 'x');
    const struct {
        const char* szName;
        std::string text;
        mode_t mode; // 0: a directory
        bool bMayChange;
    } cases[] = {{"garbage", std::string("\0\xff[[=]\r\r\n;\x80=\n[Velmare", 22), 0644, true},
                 {"huge", huge, 0644, false},
                 {"read-only", good, 0444, false},
                 {"directory", "", 0, false}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.szName);
        if (c.mode == 0444 && geteuid() == 0)
            continue; // the superuser may write it anyway
        TempDir dir;
        const std::string ini = dir.File("Vextar.ini");
        ASSERT_TRUE(c.mode ? bool(std::ofstream(ini, std::ios::binary) << c.text)
                           : mkdir(ini.c_str(), 0755) == 0);
        ASSERT_EQ(chmod(ini.c_str(), c.mode ? c.mode : 0755), 0);

        SimProcess sim({"--no-pacing", "--position", "150"});
        const ReaderRun run = RunReader(
            {"--count", "3", "--device", sim.DevicePath(), "--output", dir.File("out.doc")},
            dir.Path());
        EXPECT_EQ(run.status, 0) << run.err;
        EXPECT_TRUE(std::ifstream(dir.File("out.doc")).good());

        ASSERT_EQ(std::filesystem::is_directory(ini), c.mode == 0);
        const std::string now = c.mode ? ReadFile(ini) : "";
        if (now != c.text) {
            EXPECT_TRUE(c.bMayChange) << "the file was changed";
            EXPECT_EQ(now.compare(0, c.text.size(), c.text), 0) << "old bytes were lost";
            EXPECT_NE(ProfileGet(now, "Velmare - 7K", "COM Port 1_4", "", 64), "");
        }
    }
}

} // namespace
