// The port setting in Vextar.ini, through the profile-file layer.
#include "platform/port_setting.h"
#include "platform/port_setting_internal.h"
#include "tests/support/sim_process.h"

#include <cerrno>
#include <climits>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <memory>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

using namespace std::string_literals;
namespace fs = std::filesystem;

// Each test starts in a fresh current directory with the path not yet computed.
class SettingsTest : public testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(chdir(m_dir.Path().c_str()), 0);
        ResetSettingsPath();
    }
    void TearDown() override {
        fs::current_path(m_oldCwd);
        ResetSettingsPath();
    }
    std::string ReadIni() const {
        std::ifstream in(m_ini, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    }
    void WriteIni(const std::string& text) const { std::ofstream(m_ini, std::ios::binary) << text; }
    size_t Entries() const { return std::distance(fs::directory_iterator(m_dir.Path()), {}); }

    fs::path m_oldCwd = fs::current_path();
    TempDir m_dir;
    std::string m_ini = m_dir.File("Vextar.ini");
};

TEST_F(SettingsTest, FirstRunCreatesTheFileInTheCurrentDirectory) {
    EXPECT_EQ(std::string(GetSettingsPath()), m_ini);
    EXPECT_EQ(LoadPortSetting(), 2);
    EXPECT_EQ(SavePortSetting(2), 1);
    EXPECT_EQ(ReadIni(), "[Velmare - 7K]\nCOM Port 1_4= 2 \n");
    EXPECT_EQ(Entries(), 1u);
}

TEST_F(SettingsTest, SavesToTheLoadedFileAfterTheCurrentDirectoryChanged) {
    WriteIni("[Velmare - 7K]\nCOM Port 1_4=4\n");
    EXPECT_EQ(LoadPortSetting(), 4);
    TempDir elsewhere;
    ASSERT_EQ(chdir(elsewhere.Path().c_str()), 0);
    EXPECT_EQ(SavePortSetting(3), 1);
    EXPECT_EQ(ReadIni(), "[Velmare - 7K]\nCOM Port 1_4= 3 \n");
    EXPECT_FALSE(fs::exists(elsewhere.File("Vextar.ini")));
    // Another run started there uses the file there.
    ResetSettingsPath();
    EXPECT_EQ(std::string(GetSettingsPath()), elsewhere.File("Vextar.ini"));
    EXPECT_EQ(LoadPortSetting(), 2);
}

TEST_F(SettingsTest, ReadsTheNumberLikeAtoiAndFallsBackOnBadContent) {
    const std::string entry = "[Velmare - 7K]\nCOM Port 1_4=";
    const std::pair<std::string, int> cases[] = {
        {entry + " 3 \n", 3},
        {entry + "3abc\n", 3},
        {entry + "abc\n", 0},
        {entry + "\n", 0},
        {entry + "00000000000000000012\n", 1}, // 19 characters are kept
        {entry + "-2147483648", INT_MIN},      // and no final line end
        {entry + "4\0"s + "5\n", 4},
        {" [ velmare - 7k ] \r\n\t com port 1_4 \t=\t5\t\r\n", 5},
        {"\x80\xff\x01\x02=\x03\0\n"s, 2},
        {std::string(5 << 20, '7'), 2},
        {"[Other]\nCOM Port 1_4=8\n", 2},
    };
    for (const auto& [text, nExpected] : cases) {
        SCOPED_TRACE(text.substr(0, 60));
        WriteIni(text);
        EXPECT_EQ(LoadPortSetting(), nExpected);
    }
}

TEST_F(SettingsTest, RewriteKeepsOtherLinesAndTheirLineEnds) {
    const std::string before = "; written on Windows\r\n[Other]\r\nCOM Port 1_4=9\r\n\r\n"
                               "[VELMARE - 7K]\r\ncom port 1_4=1\r\nmore=2\r\n";
    WriteIni(before);
    EXPECT_EQ(LoadPortSetting(), 1);
    EXPECT_EQ(SavePortSetting(12), 1);
    std::string expected = before;
    expected.replace(expected.find("com port 1_4=1"), 14, "com port 1_4= 12 ");
    EXPECT_EQ(ReadIni(), expected);
    EXPECT_EQ(Entries(), 1u);
}

// An adapter forgotten (the instrument found on a COM port) takes its key
// line with it; the other lines and their ends stay.
TEST_F(SettingsTest, ForgottenDeviceRemovesItsKeyLine) {
    const std::string kept = "[Velmare - 7K]\r\nCOM Port 1_4= 3 \r\n";
    WriteIni(kept + "Device=/dev/serial/by-id/usb-x\r\n[Other]\r\nDevice=y\r\n");
    EXPECT_EQ(SaveDeviceSetting(""), 1);
    EXPECT_EQ(ReadIni(), kept + "[Other]\r\nDevice=y\r\n");
    EXPECT_EQ(LoadDeviceSetting(), "");
    EXPECT_EQ(SaveDeviceSetting(""), 1); // nothing left to remove
    EXPECT_EQ(ReadIni(), kept + "[Other]\r\nDevice=y\r\n");
    EXPECT_EQ(SaveDeviceSetting("/dev/ttyUSB0"), 1);
    EXPECT_EQ(LoadDeviceSetting(), "/dev/ttyUSB0");
    EXPECT_EQ(Entries(), 1u);
}

TEST_F(SettingsTest, FailedWritesKeepTheOldFileAndLeaveNoTemporary) {
    // A file-size limit makes the write of the new text fail as a full disk would.
    const std::string old = "[Velmare - 7K]\nCOM Port 1_4= 1 \n";
    WriteIni(old);
    int nResult = -1;
    {
        FileSizeLimit limit(16);
        ASSERT_TRUE(limit.Active());
        nResult = SavePortSetting(7);
    }
    EXPECT_EQ(nResult, 0);
    EXPECT_EQ(ReadIni(), old);
    EXPECT_EQ(Entries(), 1u);

    fs::remove(m_ini);
    ASSERT_TRUE(fs::create_directory(m_ini));
    EXPECT_EQ(LoadPortSetting(), 2);
    EXPECT_EQ(SavePortSetting(3), 0);
    EXPECT_TRUE(fs::is_directory(m_ini));
    EXPECT_EQ(Entries(), 1u);
}

// Saves port 12 from a child process running as an ordinary user, so that
// folder permissions count even for root. 0 on success, else the errno.
int SaveAsUser(const std::string& dir, unsigned long nSizeLimit) {
    const pid_t pid = fork();
    if (pid == 0) {
        ResetSettingsPath();
        if (chdir(dir.c_str()) != 0 || (geteuid() == 0 && (setgid(65534) || setuid(65534))))
            _exit(200);
        std::unique_ptr<FileSizeLimit> limit;
        if (nSizeLimit != 0)
            limit = std::make_unique<FileSizeLimit>(nSizeLimit);
        errno = 0;
        _exit(SavePortSetting(12) == 1 ? 0 : (errno != 0 ? errno : 201));
    }
    int nStatus = 0;
    return waitpid(pid, &nStatus, 0) == pid && WIFEXITED(nStatus) ? WEXITSTATUS(nStatus) : -1;
}

// In a folder the user may not write to, a writable file is rewritten in
// place; every failure keeps the old text and says why.
TEST_F(SettingsTest, FolderWithoutWriteAccessIsRewrittenInPlaceOrTellsWhy) {
    const std::string old = "[Velmare - 7K]\nCOM Port 1_4= 1 \n";
    const struct {
        const char* pszName;
        mode_t fileMode; // 0: no file
        unsigned long nSizeLimit;
        int nExpected; // 0: saved, else the errno
    } cases[] = {{"writable", 0666, 0, 0},
                 {"writable, disk full", 0666, 16, EFBIG},
                 {"read-only", 0444, 0, EACCES},
                 {"no file", 0, 0, EACCES}};
    ASSERT_EQ(chmod(m_dir.Path().c_str(), 0755), 0);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.pszName);
        const std::string dir = m_dir.File(c.pszName), ini = dir + "/Vextar.ini";
        ASSERT_TRUE(fs::create_directory(dir));
        if (c.fileMode != 0) {
            std::ofstream(ini, std::ios::binary) << old;
            ASSERT_EQ(chmod(ini.c_str(), c.fileMode), 0);
        }
        struct stat before {
        }, after{};
        stat(ini.c_str(), &before);
        ASSERT_EQ(chmod(dir.c_str(), 0555), 0);
        EXPECT_EQ(SaveAsUser(dir, c.nSizeLimit), c.nExpected); // one character longer
        ASSERT_EQ(chmod(dir.c_str(), 0755), 0);
        std::ifstream in(ini, std::ios::binary);
        EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}),
                  c.nExpected == 0 ? "[Velmare - 7K]\nCOM Port 1_4= 12 \n"
                  : c.fileMode     ? old
                                   : "");
        stat(ini.c_str(), &after);
        EXPECT_EQ(after.st_ino, before.st_ino); // the same file, not a copy
        EXPECT_EQ(std::distance(fs::directory_iterator(dir), {}), c.fileMode ? 1 : 0);
    }
}

} // namespace
