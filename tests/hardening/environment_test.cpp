// Faults around the download rather than in it: a device that is gone before
// the search, a results file that cannot be written, and a settings file
// that is garbage, huge, read-only or a directory. The program must end or
// go on with a clear outcome, lose nothing it had, and never leave a
// truncated settings file behind.
#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <fstream>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/profile_file.h"
#include "tests/e2e/reader_process.h"
#include "tests/hardening/download_rig.h"
#include "tests/support/sim_process.h"

namespace {

using namespace std::chrono_literals;

const char* const SECTION = "Velmare - 7K";
const char* const KEY = "COM Port 1_4";

TEST(ReaderEnvironment, DeviceGoneBeforeTheSearchEndsWithStatus3) {
    TempDir dir;
    std::string device;
    {
        SimProcess sim;
        device = sim.DevicePath();
    }
    ASSERT_FALSE(device.empty());
    ReaderRun run = RunReader({"--count", "3", "--device", device, "--output", dir.File("out.doc")},
                              dir.Path());
    EXPECT_EQ(run.status, 3) << run.err;
    EXPECT_NE(run.err.find("Связь НЕ установлена."), std::string::npos) << run.err;
    EXPECT_FALSE(std::ifstream(dir.File("out.doc")).good());
}

TEST(ReaderEnvironment, FullDiskEndsWithStatus5AndTheReason) {
    if (access("/dev/full", W_OK) != 0)
        GTEST_SKIP() << "/dev/full is not available";
    TempDir dir;
    SimProcess sim({"--no-pacing", "--position", "150"});
    ASSERT_FALSE(sim.DevicePath().empty());
    ReaderRun run = RunReader(
        {"--count", "20", "--device", sim.DevicePath(), "--output", "/dev/full", "--force"},
        dir.Path());
    EXPECT_EQ(run.status, 5) << run.err;
    EXPECT_NE(run.err.find(std::strerror(ENOSPC)), std::string::npos) << run.err;
}

// In the dialog a failed write is reported and the next download through
// the same link writes its file whole.
TEST(ReaderEnvironment, FailedWriteIsReportedAndTheNextDownloadIsWhole) {
    if (access("/dev/full", W_OK) != 0)
        GTEST_SKIP() << "/dev/full is not available";
    TempDir dir;
    SimProcess sim({"--no-pacing", "--turnaround", "0", "--position", "150"});
    ASSERT_FALSE(sim.DevicePath().empty());
    ScopedComPort port(2, sim.DevicePath());
    DownloadRig rig;
    rig.m_host.m_nCount = 50;
    rig.m_link.PortNumber(2);
    ASSERT_EQ(rig.m_link.Start(&rig.m_target), 1);

    rig.m_host.m_szPath = "/dev/full";
    ASSERT_TRUE(rig.Download(60s));
    EXPECT_EQ(rig.m_host.m_szLastError, std::strerror(ENOSPC));

    rig.m_host.m_szLastError.clear();
    rig.m_host.m_szPath = dir.File("second.doc");
    ASSERT_TRUE(rig.Download(60s));
    EXPECT_EQ(rig.m_host.m_szLastError, "");
    const std::string dump = std::string(TARVEX_SIM_PATH) + " --dump-archive " + dir.File("a.bin");
    ASSERT_EQ(std::system(dump.c_str()), 0);
    // The expected file is built from the dump after the download, since it
    // goes through the same store.
    const std::string got = ReadWholeFile(dir.File("second.doc"));
    ASSERT_TRUE(WriteExpectedFile(dir.File("a.bin"), 150, 50, dir.File("expected.doc")));
    EXPECT_TRUE(got == ReadWholeFile(dir.File("expected.doc")));
}

// Count texts that are no plain decimal number in range, beyond those the
// end-to-end tests try: each is refused with status 2 and the count's message
// before anything is opened or written.
TEST(ReaderArguments, CountTextsThatAreNoPlainNumberAreRefused) {
    TempDir dir;
    for (const char* szCount : {"abc", "", "\t5", "5 5", "1e3", "0x10", "\xd9\xa3" /* Arabic 3 */,
                                "99999999999999999999999999"}) {
        const ReaderRun run = RunReader({"--count", szCount, "--output", "x.doc"}, dir.Path());
        EXPECT_EQ(run.status, 2) << "'" << szCount << "'";
        EXPECT_EQ(run.err.rfind("Неправильно введено количество записей (1...2000)\n", 0), 0u)
            << run.err;
    }
    EXPECT_FALSE(std::ifstream(dir.File("x.doc")).good());
    EXPECT_FALSE(std::ifstream(dir.File("Vextar.ini")).good());
}

struct SettingsCase {
    const char* name;
    // Makes the settings file at path; returns false to skip the case.
    bool (*make)(const std::string& path);
    bool bMustStay; // the file must be left byte for byte as it was
};

void PrintTo(const SettingsCase& c, std::ostream* os) {
    *os << c.name;
}

bool WriteText(const std::string& path, const std::string& text) {
    std::ofstream(path, std::ios::binary) << text;
    return true;
}

class ReaderSettingsFile : public ::testing::TestWithParam<SettingsCase> {};

// The download works whatever the settings file is (the device is named on
// the command line), and afterwards the file is either as it was or a good
// file that keeps every old line and holds the port found.
TEST_P(ReaderSettingsFile, DownloadWorksAndTheFileIsOldOrGoodNeverCut) {
    const SettingsCase& c = GetParam();
    TempDir dir;
    const std::string ini = dir.File("Vextar.ini");
    if (!c.make(ini))
        GTEST_SKIP() << "not meaningful for this user";
    struct stat before {};
    ASSERT_EQ(lstat(ini.c_str(), &before), 0);
    const std::string old = S_ISREG(before.st_mode) ? ReadWholeFile(ini) : "";

    SimProcess sim({"--no-pacing", "--position", "150"});
    ASSERT_FALSE(sim.DevicePath().empty());
    ReaderRun run =
        RunReader({"--count", "3", "--device", sim.DevicePath(), "--output", dir.File("out.doc")},
                  dir.Path());
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_TRUE(std::ifstream(dir.File("out.doc")).good());

    struct stat after {};
    ASSERT_EQ(lstat(ini.c_str(), &after), 0);
    EXPECT_EQ(S_ISDIR(after.st_mode), S_ISDIR(before.st_mode));
    if (!S_ISREG(after.st_mode))
        return;
    const std::string now = ReadWholeFile(ini);
    if (c.bMustStay) {
        EXPECT_TRUE(now == old) << "the file was changed";
    } else if (now != old) {
        EXPECT_EQ(now.compare(0, old.size(), old), 0) << "old bytes were lost";
        EXPECT_NE(ProfileGet(now, SECTION, KEY, "", 64), "");
    }
}

INSTANTIATE_TEST_SUITE_P(
    Files, ReaderSettingsFile,
    ::testing::Values(SettingsCase{"Garbage",
                                   [](const std::string& p) {
                                       return WriteText(
                                           p, std::string("\0\xff[[=]\r\r\n;\x80=\n[Velmare", 22));
                                   },
                                   false},
                      // Beyond the size the program reads: never rewritten, so never cut.
                      SettingsCase{"Huge",
                                   [](const std::string& p) {
                                       std::string text = "[Velmare - 7K]\nCOM Port 1_4=3\n";
                                       text.resize(PROFILE_MAX_FILE_SIZE + 4096, 'x');
                                       return WriteText(p, text);
                                   },
                                   true},
                      SettingsCase{"ReadOnly",
                                   [](const std::string& p) {
                                       // The superuser may write it anyway.
                                       return geteuid() != 0 &&
                                              WriteText(p, "[Velmare - 7K]\nCOM Port 1_4=3\n") &&
                                              chmod(p.c_str(), 0444) == 0;
                                   },
                                   true},
                      SettingsCase{"Directory",
                                   [](const std::string& p) { return mkdir(p.c_str(), 0755) == 0; },
                                   true}),
    [](const ::testing::TestParamInfo<SettingsCase>& info) { return info.param.name; });

} // namespace
