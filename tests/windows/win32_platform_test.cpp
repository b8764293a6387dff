// The Windows sources behind the shared platform headers: the atomic replace
// by MoveFileExW, wide paths (Cyrillic names), the profile files, the locale's
// decimal separator and the names of COM ports.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <windows.h>

#include "history/history_path.h"
#include "platform/atomic_file.h"
#include "platform/locale.h"
#include "platform/port_setting.h"
#include "platform/port_setting_internal.h"
#include "platform/profile_file.h"
#include "platform/serial_adapters.h"
#include "platform/serial_port.h"
#include "platform/user_settings.h"
#include "platform/win32/wide_text.h"

namespace {

namespace fs = std::filesystem;

// A fresh folder with a Cyrillic name under the temporary folder, UTF-8.
class Win32Files : public ::testing::Test {
protected:
    void SetUp() override {
        m_folder = fs::temp_directory_path() /
                   fs::path(Widen("tarvex Проба " + std::to_string(::GetCurrentProcessId())));
        fs::remove_all(m_folder);
        fs::create_directories(m_folder);
    }
    void TearDown() override { fs::remove_all(m_folder); }

    std::string Path(const std::string& name) const {
        return Narrow((m_folder / fs::path(Widen(name))).wstring());
    }
    static std::string ReadAll(const std::string& path) {
        std::ifstream in(fs::path(Widen(path)), std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    }
    static void Put(const std::string& path, const std::string& text) {
        std::ofstream(fs::path(Widen(path)), std::ios::binary) << text;
    }
    size_t Entries() const {
        return static_cast<size_t>(std::distance(fs::directory_iterator(m_folder), {}));
    }

    fs::path m_folder;
};

TEST_F(Win32Files, ReplaceWritesWholeFileAndLeavesNoTemporaryFile) {
    const std::string target = Path("результаты.xls");
    Put(target, "old");
    AtomicFile file(target, ReplacePolicy::Replace);
    ASSERT_TRUE(file.OpenStatus().Ok()) << file.OpenStatus().Reason();
    EXPECT_EQ(ReadAll(target), "old"); // untouched until Commit
    ASSERT_TRUE(file.Write("new\r\nbytes").Ok());
    ASSERT_TRUE(file.Commit().Ok());
    EXPECT_EQ(ReadAll(target), "new\r\nbytes");
    EXPECT_EQ(Entries(), 1u);
}

TEST_F(Win32Files, KeepExistingNeverReplacesANameTakenMeanwhile) {
    const std::string target = Path("отчёт.doc");
    Put(target, "kept");
    EXPECT_EQ(AtomicFile(target, ReplacePolicy::KeepExisting).OpenStatus().error, EEXIST);
    EXPECT_EQ(CheckNewFileTarget(target, ReplacePolicy::KeepExisting).error, EEXIST);

    const std::string later = Path("later.doc");
    AtomicFile file(later, ReplacePolicy::KeepExisting);
    ASSERT_TRUE(file.OpenStatus().Ok());
    ASSERT_TRUE(file.Write("ours").Ok());
    Put(later, "theirs");
    EXPECT_EQ(file.Commit().error, EEXIST);
    EXPECT_EQ(ReadAll(later), "theirs");
    EXPECT_EQ(ReadAll(target), "kept");
    EXPECT_EQ(Entries(), 2u); // the temporary file is gone
}

TEST_F(Win32Files, RefusalsNameTheirCause) {
    EXPECT_EQ(CheckNewFileTarget(Path("нет/x.xls"), ReplacePolicy::Replace).error, ENOENT);
    fs::create_directory(m_folder / "folder");
    EXPECT_EQ(AtomicFile(Path("folder"), ReplacePolicy::Replace).OpenStatus().error, EISDIR);
    const std::string readOnly = Path("ro.xls");
    Put(readOnly, "x");
    ::SetFileAttributesW(Widen(readOnly).c_str(), FILE_ATTRIBUTE_READONLY);
    EXPECT_EQ(AtomicFile(readOnly, ReplacePolicy::Replace).OpenStatus().error, EACCES);
    ::SetFileAttributesW(Widen(readOnly).c_str(), FILE_ATTRIBUTE_NORMAL);
}

TEST_F(Win32Files, DroppedFileLeavesTargetAsItWas) {
    const std::string target = Path("a.xls");
    Put(target, "old");
    {
        AtomicFile file(target, ReplacePolicy::Replace);
        ASSERT_TRUE(file.Write("half").Ok());
    }
    EXPECT_EQ(ReadAll(target), "old");
    EXPECT_EQ(Entries(), 1u);
}

TEST_F(Win32Files, ProfileFileRoundTripKeepsOtherKeysAndCrLf) {
    const std::string ini = Path("Vextar.ini");
    Put(ini, "[Other]\r\nx=1\r\n");
    ASSERT_EQ(ProfileFileSet(ini, "Settings", "Port", " 3 "), 1);
    EXPECT_EQ(ProfileFileGet(ini, "settings", "port", "", 20), "3");
    EXPECT_EQ(ProfileFileGet(ini, "Other", "x", "", 20), "1");
    EXPECT_EQ(ReadAll(ini), "[Other]\r\nx=1\r\n[Settings]\r\nPort= 3 \r\n");
    ::SetFileAttributesW(Widen(ini).c_str(), FILE_ATTRIBUTE_READONLY);
    EXPECT_EQ(ProfileFileSet(ini, "Settings", "Port", "4"), 0);
    ::SetFileAttributesW(Widen(ini).c_str(), FILE_ATTRIBUTE_NORMAL);
    EXPECT_EQ(ProfileFileGet(Path("missing.ini"), "Settings", "Port", "2", 20), "2");
}

// Vextar.ini in the current folder, the own settings and the history in the
// user's folders, all under a Cyrillic name.
TEST_F(Win32Files, SettingsLiveWhereTheyBelongUnderCyrillicNames) {
    wchar_t before[MAX_PATH] = {};
    ::GetCurrentDirectoryW(MAX_PATH, before);
    ASSERT_TRUE(::SetCurrentDirectoryW(m_folder.wstring().c_str()));
    ResetSettingsPath();
    EXPECT_EQ(std::string(GetSettingsPath()), Path("Vextar.ini"));
    EXPECT_EQ(LoadPortSetting(), 2);
    ASSERT_EQ(SavePortSetting(3), 1);
    ASSERT_EQ(SaveDeviceSetting("\\\\.\\pipe\\порт"), 1);
    ::SetCurrentDirectoryW(before); // the path, once taken, stays
    EXPECT_EQ(LoadPortSetting(), 3);
    EXPECT_EQ(LoadDeviceSetting(), "\\\\.\\pipe\\порт");
    // The Windows program's own form: CRLF, and Windows-1251 ("порт").
    EXPECT_EQ(ReadAll(Path("Vextar.ini")),
              "[Velmare - 7K]\r\nCOM Port 1_4= 3 \r\nDevice=\\\\.\\pipe\\\xEF\xEE\xF0\xF2\r\n");
    ResetSettingsPath();

    const std::string roaming = Path("Роуминг"), local = Path("Локальные");
    ::SetEnvironmentVariableW(L"APPDATA", Widen(roaming).c_str());
    ::SetEnvironmentVariableW(L"LOCALAPPDATA", Widen(local).c_str());
    fs::create_directories(fs::path(Widen(roaming)));
    ASSERT_EQ(SaveUserSetting("Форма", "таблица"), 1);
    EXPECT_EQ(UserSettingsPath(), roaming + "\\Tarvex\\tarvex.ini");
    EXPECT_EQ(LoadUserSetting("Форма", ""), "таблица");
    EXPECT_EQ(history::defaultHistoryPath(), local + "\\Tarvex\\history.sqlite3");
    EXPECT_EQ(history::ensureParentFolder(history::defaultHistoryPath()), 0);
    EXPECT_TRUE(fs::is_directory(fs::path(Widen(local + "\\Tarvex"))));
}

TEST(Win32Locale, SeparatorComesFromTheWindowsLocale) {
    EXPECT_EQ(DecimalSeparatorOfLocale("ru-RU"), ',');
    EXPECT_EQ(DecimalSeparatorOfLocale("ru_RU.UTF-8"), ',');
    EXPECT_EQ(DecimalSeparatorOfLocale("de_DE.UTF-8"), ',');
    EXPECT_EQ(DecimalSeparatorOfLocale("en-US"), '.');
    EXPECT_EQ(DecimalSeparatorOfLocale("C"), '.');
    EXPECT_EQ(DecimalSeparatorOfLocale("xx-nonsense"), '.');
}

TEST(Win32Ports, NamesOfOnePortCompareEqual) {
    EXPECT_EQ(DeviceForPort(3), "\\\\.\\COM3");
    EXPECT_EQ(DeviceForPort(0), "");
    EXPECT_EQ(CanonicalDevice("com12"), "\\\\.\\COM12");
    EXPECT_EQ(CanonicalDevice("\\\\.\\COM12"), CanonicalDevice("COM12"));
    EXPECT_TRUE(DeviceNameLess("\\\\.\\COM2", "\\\\.\\COM10"));
    SerialPort port;
    EXPECT_FALSE(port.Open("\\\\.\\COM250"));
    EXPECT_EQ(port.OpenError(), ENOENT);
    EXPECT_FALSE(port.IsOpen());
}

} // namespace
