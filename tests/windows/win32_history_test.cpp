// The history on Windows: its place under %LOCALAPPDATA%, and SQLite and the
// care of the file (check, copy, set aside, recover) on Cyrillic paths, where
// a narrow call would look for another name.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <windows.h>

#include "history/history_care.h"
#include "history/history_path.h"
#include "history/record_store.h"
#include "platform/file_names.h"
#include "platform/win32/wide_text.h"
#include "tests/support/history_records.h"
#include "tests/support/sim_process.h"

using namespace history;

namespace {

DownloadEntry Entry(int count) {
    return DownloadEntry{.time = 1700000000,
                         .port = "COM3",
                         .device = "\\\\.\\COM3",
                         .position = count,
                         .count = count};
}

std::string Bytes(const std::string& path) {
    std::ifstream in(FsPath(path), std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

// Sets a variable of this process for the life of the object.
class ScopedVariable {
public:
    ScopedVariable(const wchar_t* name, const std::string& value) : m_name(name) {
        ::SetEnvironmentVariableW(m_name, value.empty() ? nullptr : Widen(value).c_str());
    }
    ~ScopedVariable() { ::SetEnvironmentVariableW(m_name, nullptr); }

private:
    const wchar_t* m_name;
};

TEST(Win32History, LivesUnderLocalAppDataAndIsMadeThere) {
    const TempDir dir;
    const ScopedVariable local(L"LOCALAPPDATA", dir.Path() + "\\Пользователь");
    const ScopedVariable unset(L"TARVEX_DATABASE", "");
    const std::string path = defaultHistoryPath();
    EXPECT_EQ(path, dir.Path() + "\\Пользователь\\Tarvex\\history.sqlite3");
    ASSERT_EQ(ensureParentFolder(path), 0);
    openHistory(path, OpenMode::ReadWrite)->mergeDownload(Entry(40), Records(1, 40));
    EXPECT_TRUE(std::filesystem::is_regular_file(FsPath(path)));
    EXPECT_EQ(openHistory(path, OpenMode::ReadOnly)->stats().records, 40);

    const ScopedVariable chosen(L"TARVEX_DATABASE", dir.File("другая.sqlite3"));
    EXPECT_EQ(defaultHistoryPath(), dir.File("другая.sqlite3"));
}

TEST(Win32History, WhatIsNoHistoryIsNamedSo) {
    const TempDir dir;
    const std::string text = dir.File("заметки.txt");
    std::ofstream(FsPath(text)) << "not a database, sixteen bytes and more";
    try {
        openHistory(text, OpenMode::ReadWrite);
        ADD_FAILURE() << "a text file opened as a history";
    } catch (const Error& e) {
        EXPECT_EQ(e.kind(), Error::Kind::NotOurs) << e.what();
    }
    try {
        openHistory(dir.Path(), OpenMode::ReadWrite);
        ADD_FAILURE() << "a folder opened as a history";
    } catch (const Error& e) {
        EXPECT_EQ(e.kind(), Error::Kind::NotOurs) << e.what();
    }
    EXPECT_EQ(Bytes(text), "not a database, sixteen bytes and more");
}

// Check, copy, recover: the renames and removals of the care commands.
TEST(Win32History, CareWorksOnCyrillicPaths) {
    const TempDir dir;
    const std::string path = dir.File("история.sqlite3");
    openHistory(path, OpenMode::ReadWrite)->mergeDownload(Entry(2000), Records(1, 2000));
    EXPECT_TRUE(checkHistory(path).problems.empty());
    const std::string copy = dir.File("копия.sqlite3");
    EXPECT_EQ(backupHistory(path, {copy, false}), "");
    EXPECT_NE(backupHistory(path, {copy, false}), ""); // kept without --force
    EXPECT_EQ(openHistory(copy, OpenMode::ReadOnly)->stats().records, 2000);

    const auto pages = std::filesystem::file_size(FsPath(path)) / 4096;
    std::fstream(FsPath(path), std::ios::in | std::ios::out | std::ios::binary)
        .seekp(static_cast<std::streamoff>(pages / 2 * 4096))
        .write(std::string(2 * 4096, '\xff').data(), 2 * 4096);
    const std::string damaged = Bytes(path);
    EXPECT_FALSE(checkHistory(path).problems.empty());
    const RecoverReport recovered = recoverHistory(path);
    EXPECT_GT(recovered.records, 1000);
    EXPECT_EQ(Bytes(recovered.setAsideAs), damaged);
    EXPECT_TRUE(checkHistory(path).problems.empty());
    EXPECT_FALSE(std::filesystem::exists(FsPath(path + ".recovering")));
}

} // namespace
