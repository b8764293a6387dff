// tarvex.exe under Wine against tarvex-sim on COM3, driven from outside:
// the dialog finds the instrument, reads, saves through the save dialog,
// and writes Vextar.ini on closing. Run by scripts/windows.sh --test with
//   TARVEX_DIALOG_EXE  tarvex.exe
//   TARVEX_DIALOG_WORK a folder for the runs
//   TARVEX_DIALOG_REFERENCE  a folder with tarvex-read's files of the same
//                      40 records: reference.xls and reference.doc
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <iterator>
#include <memory>

#include "dialog_driver.h"

namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

constexpr int IDC_STATUS = 1001, IDC_READ_ARCHIVE = 1002, IDC_RECORD_COUNT = 1008, IDC_EXCEL = 1028;

std::string ReadAll(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

// The files are equal byte for byte (a difference is reported by size, not dumped).
::testing::AssertionResult SameBytes(const fs::path& written, const std::string& reference) {
    const std::string bytes = ReadAll(written);
    if (bytes == reference && !bytes.empty())
        return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << written.string() << ": " << bytes.size()
                                         << " bytes, not the reference's " << reference.size();
}

class Win32Dialog : public ::testing::Test {
protected:
    void SetUp() override {
        if (EnvPath(L"TARVEX_DIALOG_EXE").empty())
            GTEST_SKIP() << "TARVEX_DIALOG_EXE is not set (scripts/windows.sh --test sets it)";
        m_folder = fs::path(EnvPath(L"TARVEX_DIALOG_WORK")) /
                   ::testing::UnitTest::GetInstance()->current_test_info()->name();
        fs::remove_all(m_folder);
        fs::create_directories(m_folder);
    }

    // Starts the dialog and waits until it has found the instrument.
    void StartConnected() {
        m_driver = std::make_unique<DialogDriver>(EnvPath(L"TARVEX_DIALOG_EXE"), L"--no-history",
                                                  m_folder.wstring());
        ASSERT_TRUE(m_driver->Started());
        ASSERT_TRUE(m_driver->WaitForStatus(L"Связь установлена по COM3", 20s))
            << "status: " << fs::path(m_driver->Text(IDC_STATUS)).string();
    }

    // Reads count records and answers the save dialog with name; returns
    // the filter the dialog had selected.
    std::wstring ReadAndSave(const std::wstring& count, const std::wstring& name) {
        m_driver->Type(IDC_RECORD_COUNT, count);
        m_driver->Click(IDC_READ_ARCHIVE);
        const HWND hSave = m_driver->WaitForOtherWindow(60s);
        if (hSave == nullptr)
            return L"no save dialog";
        const std::wstring filter = DialogDriver::SelectedFilter(hSave);
        // The whole path: the dialog may open in the folder it was last left in.
        if (!DialogDriver::AnswerSaveDialog(hSave, (m_folder / name).wstring())) {
            return L"not a save dialog:" + DialogDriver::Describe(hSave);
        }
        if (!m_driver->WaitForStatus(L"Файл прочитан.", 20s))
            return L"not written";
        return filter;
    }

    static std::string Reference(const char* name) {
        return ReadAll(fs::path(EnvPath(L"TARVEX_DIALOG_REFERENCE")) / name);
    }

    fs::path m_folder;
    std::unique_ptr<DialogDriver> m_driver;
};

TEST_F(Win32Dialog, ReadsBothFormsSavesThemAndRemembersThePort) {
    StartConnected();
    // The table: ticked box, its filter proposed; a Cyrillic name typed without suffix.
    m_driver->Click(IDC_EXCEL);
    EXPECT_EQ(ReadAndSave(L"40", L"таблица"), L"Results Files (*.xls)");
    EXPECT_EQ(m_driver->ProgressPos(), 0);
    EXPECT_TRUE(SameBytes(m_folder / L"таблица.xls", Reference("reference.xls")));
    // The report, in the same run: the box cleared again.
    m_driver->Click(IDC_EXCEL);
    EXPECT_EQ(ReadAndSave(L"40", L"отчёт.doc"), L"Results Files (*.doc)");
    EXPECT_TRUE(SameBytes(m_folder / L"отчёт.doc", Reference("reference.doc")));

    EXPECT_EQ(m_driver->CloseAndWait(20s), 0);
    // Written on closing, in the folder the program was started in.
    const std::string settings = ReadAll(m_folder / "Vextar.ini");
    EXPECT_NE(settings.find("[Velmare - 7K]"), std::string::npos) << settings;
    const size_t port = settings.find("COM Port 1_4= 3 ");
    ASSERT_NE(port, std::string::npos) << settings;
    EXPECT_NE(std::string("\r\n").find(settings[port + 16]), std::string::npos) << settings;
}

TEST_F(Win32Dialog, RefusesABadCountWithItsBoxAndReadsNothing) {
    StartConnected();
    m_driver->Type(IDC_RECORD_COUNT, L"2001");
    m_driver->Click(IDC_READ_ARCHIVE);
    const HWND hBox = m_driver->WaitForOtherWindow(20s);
    ASSERT_NE(hBox, nullptr);
    const std::vector<std::wstring> texts = DialogDriver::ChildTexts(hBox);
    EXPECT_NE(
        std::find(texts.begin(), texts.end(), L"Неправильно введено количество записей (1...2000)"),
        texts.end());
    ::PostMessageW(hBox, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
    EXPECT_TRUE(DialogDriver::WaitFor([&] { return !::IsWindow(hBox); }, 10s));
    // No download started: the status has no waiting text, and no save dialog comes.
    EXPECT_EQ(m_driver->Text(IDC_STATUS).find(L"Подождите"), std::wstring::npos);
    EXPECT_EQ(m_driver->WaitForOtherWindow(2s), nullptr);
    EXPECT_EQ(m_driver->CloseAndWait(20s), 0);
}

} // namespace
