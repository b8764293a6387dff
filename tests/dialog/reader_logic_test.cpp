// The main dialog's behaviour without a window: events go into ReaderLogic,
// what it shows comes out of a fake view. Runs on Linux and, built for
// Windows, under Wine, so both dialogs' behaviour is checked on both.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <thread>

#include "dialog/clock_text.h"
#include "dialog/reader_logic.h"
#include "dialog/results_saving.h"
#include "link/frame.h"
#include "platform/codepage.h"
#include "tests/dialog/fake_view.h"
#include "tests/support/history_records.h"

namespace fs = std::filesystem;
using exports::ResultsForm;

namespace {

void SetEnv(const char* pszName, const std::string& value) {
#ifdef _WIN32
    _putenv_s(pszName, value.c_str());
#else
    setenv(pszName, value.c_str(), 1);
#endif
}

std::string ReadFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

// A reply as the link hands it over: lead byte, length, code, then payload.
std::vector<uint8_t> Reply(int nCode, unsigned nLength) {
    std::vector<uint8_t> reply(nLength, 0);
    reply[0] = 1;
    reply[1] = static_cast<uint8_t>(nLength);
    reply[2] = static_cast<uint8_t>(nCode);
    return reply;
}

// Vextar.ini, the program's own settings and the files of the tests go into
// a folder of this run, made current, and removed when the run ends.
struct WorkFolder {
    fs::path path = fs::temp_directory_path() /
                    ("tarvex-dialog-" +
                     std::to_string(std::chrono::steady_clock::now().time_since_epoch().count()));
    WorkFolder() {
        fs::create_directories(path / "config");
        fs::current_path(path);
        SetEnv("XDG_CONFIG_HOME", (path / "config").string());
        SetEnv("APPDATA", (path / "config").string());
    }
    ~WorkFolder() {
        std::error_code error;
        fs::current_path(fs::temp_directory_path(), error);
        fs::remove_all(path, error);
    }
};

const fs::path& WorkDir() {
    static const WorkFolder folder;
    return folder.path;
}

} // namespace

class ReaderLogicTest : public testing::Test {
protected:
    FakeView view;
    std::unique_ptr<ReaderLogic> logic;
    int nStarts = 0;

    void SetUp() override {
        WorkDir();
        g_szStatusSuffix[0] = '\0';
        g_bFirstTick = 1;
        Open();
    }

    // A fresh dialog on the same view, initialised; its link never starts.
    void Open() {
        logic.reset();
        logic = std::make_unique<ReaderLogic>(view);
        view.pLogic = logic.get();
        logic->m_bNoHistory = true;
        logic->m_fnStartLink = [this] { return ++nStarts, 1; };
        logic->OnInitDialog();
    }

    // The Read button with the count typed in, then the instrument's replies
    // to each request, record n being MakeRecord(n), until the results step.
    void Download(int nCount) {
        logic->m_pLink->m_nLinkState = LINK_READY;
        logic->m_pLink->m_bTxRequest = 0; // the last request of the one before has gone
        view.SetControlText(IDC_RECORD_COUNT, std::to_string(nCount));
        logic->OnReadArchive();
        auto feed = [&](const std::vector<uint8_t>& reply) {
            logic->m_pLink->m_bTxRequest = 0; // the worker has sent the request
            logic->OnLinkReply(static_cast<unsigned>(reply.size()), reply.data());
        };
        feed(Reply(CMD_READ_POSITION, 5));
        feed(Reply(CMD_READ_EMPTY_CELLS, 56));
        // Past the records, slots never written (all zero), as the only-new
        // scan reads on until a run of them.
        const size_t nAsked = view.saveRequests.size();
        for (int n = 1; n <= ArchiveSlotCount && view.saveRequests.size() == nAsked &&
                        view.status != "Новых записей нет.";
             ++n) {
            std::vector<uint8_t> reply = Reply(CMD_READ_RECORD, 36);
            const ArchiveRecord record = MakeRecord(n);
            if (n <= nCount)
                std::copy(std::begin(record.bytes), std::end(record.bytes), reply.begin() + 4);
            feed(reply);
        }
    }

    static SaveAnswer At(const std::string& name, ResultsForm form) {
        return {(WorkDir() / name).string(), form};
    }
};

TEST_F(ReaderLogicTest, CountEditArrowsAndFormBoxKeepInStep) {
    EXPECT_EQ(view.texts[IDC_RECORD_COUNT], "100");
    EXPECT_EQ(logic->m_nRecordCount, 100);
    EXPECT_EQ(view.spinLower, 1);
    EXPECT_EQ(view.spinUpper, 2000);
    EXPECT_EQ(view.spinPos, 100);
    EXPECT_FALSE(view.checked[IDC_EXCEL]);
    EXPECT_EQ(view.nTimerId, CLOCK_TIMER_ID);
    EXPECT_EQ(view.nTimerPeriod, 1000);

    // Typed: read as the original reads a number; the arrows stay in range.
    for (const auto& [text, count, pos] : {std::tuple{"5x", 5, 5}, std::tuple{"2500", 2500, 2000},
                                           std::tuple{"", 0, 1}, std::tuple{"abc", 0, 1}}) {
        view.SetControlText(IDC_RECORD_COUNT, text);
        EXPECT_EQ(logic->m_nRecordCount, count) << text;
        EXPECT_EQ(view.spinPos, pos) << text;
    }
    // Arrows: the edit shows the position and reads it back unchanged.
    view.spinPos = 7;
    logic->OnVScroll();
    EXPECT_EQ(view.texts[IDC_RECORD_COUNT], "7");
    EXPECT_EQ(logic->m_nRecordCount, 7);

    for (int i = 0; i < 3; ++i)
        logic->OnExcelClicked();
    EXPECT_EQ(logic->m_bExcelTable, 1);
}

// The hour without a leading zero, minute and second with; a failed
// conversion shows as such.
TEST(ClockLines, AsTheOriginalDrawsThem) {
    std::tm tm{};
    tm.tm_hour = 14, tm.tm_min = 5, tm.tm_sec = 9, tm.tm_mday = 3, tm.tm_mon = 2;
    const ClockLines day = FormatClockLines(&tm), failed = FormatClockLines(nullptr);
    EXPECT_EQ(day.time + "|" + day.date, "  14:05:09| 3 марта");
    EXPECT_EQ(failed.time + "|" + failed.date, "  -1:-1:-1| 0 ii");
}

TEST_F(ReaderLogicTest, FirstClockTickStartsTheLinkOnce) {
    logic->OnTimer(CLOCK_TIMER_ID + 1);
    EXPECT_EQ(nStarts, 0);
    EXPECT_TRUE(view.clockTime.empty());
    logic->OnTimer(CLOCK_TIMER_ID);
    logic->OnTimer(CLOCK_TIMER_ID);
    EXPECT_EQ(nStarts, 1);
    EXPECT_EQ(view.clockTime.rfind("  ", 0), 0u) << view.clockTime;
    EXPECT_EQ(view.clockDate.rfind(" ", 0), 0u) << view.clockDate;
}

// The worker reaches the window only through the view's posts; its box
// holds the worker until the view's thread has shown it.
TEST_F(ReaderLogicTest, WorkerReportsArriveThroughPosts) {
    std::thread worker([this] {
        logic->PostLinkStatus(Utf8ToCp1251(" Ожидание ответа."));
        logic->RunMessageBox(Utf8ToCp1251("Прибор отключен."), MB_OK | MB_ICONERROR);
    });
    ASSERT_TRUE(view.RunPostedUntil([&] { return !view.boxes.empty(); }, 30000));
    worker.join();
    EXPECT_EQ(view.status, " Ожидание ответа.");
    EXPECT_EQ(view.boxes[0].text, "Прибор отключен.");
    EXPECT_EQ(view.boxes[0].icon, BoxIcon::Error);

    // After a read is accepted the waiting text follows every status text.
    std::snprintf(g_szStatusSuffix, sizeof g_szStatusSuffix, "%s",
                  Utf8ToCp1251("  Подождите идет чтение файла.").c_str());
    logic->PostLinkStatus(Utf8ToCp1251(" Ожидание ответа."));
    view.RunPostedUntil([&] { return view.PostedCount() == 0; }, 1000);
    EXPECT_EQ(view.status, " Ожидание ответа.  Подождите идет чтение файла.");

    // What is still queued once the dialog closes is not acted on.
    logic->PostLinkStatus(Utf8ToCp1251(" Связь установлена по COM3 "));
    logic->Shutdown();
    view.RunPostedUntil([&] { return view.PostedCount() == 0; }, 1000);
    EXPECT_EQ(view.status, " Ожидание ответа.  Подождите идет чтение файла.");
}

TEST_F(ReaderLogicTest, NothingAnsweringTheSearchIsExplained) {
    // Every COM port leads nowhere (on Windows the test machine has none).
    for (int n = 1; n <= 4; ++n)
        SetEnv(("TARVEX_COM" + std::to_string(n)).c_str(), "/nonexistent/tarvex-port");
    logic->m_fnStartLink = [this] { return logic->m_pLink->Start(logic.get()); };
    logic->OnTimer(CLOCK_TIMER_ID);
    ASSERT_TRUE(
        view.RunPostedUntil([&] { return view.status == " Связь НЕ установлена."; }, 120000))
        << view.status;
    ASSERT_EQ(view.boxes.size(), 1u);
    EXPECT_NE(view.boxes[0].text.find("Прибор не подключен к компьютеру"), std::string::npos);
    EXPECT_NE(view.boxes[0].text.find("COM1"), std::string::npos) << view.boxes[0].text;
    logic->Shutdown();
}

TEST_F(ReaderLogicTest, ReadingEndsInTheFileChosen) {
    std::pair<int, int> progressAtSave;
    view.fnDuringSave = [&] { progressAtSave = {view.progressPos, view.progressUpper}; };
    view.saveAnswers = {At("read.doc", ResultsForm::Report)};
    Download(3);
    ASSERT_EQ(view.saveRequests.size(), 1u);
    const SaveRequest& request = view.saveRequests[0];
    EXPECT_EQ(progressAtSave, std::make_pair(3, 3));
    EXPECT_FALSE(request.tableKind);
    EXPECT_EQ(request.proposedName.rfind("results", 0), 0u);
    EXPECT_EQ(request.offeredForms, OfferedForms(false));
    EXPECT_TRUE(view.boxes.empty()) << view.boxes[0].text;
    EXPECT_FALSE(ReadFile(WorkDir() / "read.doc").empty());
    EXPECT_EQ(view.status, "Файл прочитан.");
    EXPECT_STREQ(g_szStatusSuffix, Utf8ToCp1251("Файл прочитан.").c_str());
    EXPECT_EQ(view.progressPos, 0);

    // Cancelled: nothing written, nothing claimed, the bar stays full.
    view.status.clear();
    Download(2);
    EXPECT_EQ(view.saveRequests.size(), 2u);
    EXPECT_TRUE(view.status.empty());
    EXPECT_EQ(view.progressPos, 2);
    EXPECT_TRUE(view.boxes.empty());

    // A place where nothing can be written: said, and the dialog comes again.
    view.saveAnswers = {At("missing/x.doc", ResultsForm::Report),
                        At("again.doc", ResultsForm::Report)};
    Download(2);
    ASSERT_EQ(view.boxes.size(), 1u);
    EXPECT_EQ(view.boxes[0].icon, BoxIcon::Error);
    EXPECT_EQ(view.boxes[0].text.rfind("Файл нельзя сохранить здесь", 0), 0u);
    EXPECT_FALSE(fs::exists(WorkDir() / "missing"));
    EXPECT_FALSE(ReadFile(WorkDir() / "again.doc").empty());
}

// The check box picks the kind; the dialog offers only forms this build
// writes, also when another build's choice was remembered.
TEST_F(ReaderLogicTest, FormBoxPicksTheKindOfTheOfferedForms) {
    logic->OnExcelClicked();
    view.saveAnswers = {At("book.xlsx", ResultsForm::Table)};
    Download(2);
    ASSERT_EQ(view.saveRequests.size(), 1u);
    EXPECT_TRUE(view.saveRequests[0].tableKind);
    EXPECT_EQ(view.saveRequests[0].offeredForms.front(), ResultsForm::Table);
    const bool bWorkbook = exports::FormBuilt(ResultsForm::Workbook);
    EXPECT_EQ(view.saveRequests[0].offeredForms.size(), bWorkbook ? 2u : 1u);
    // Typed with the workbook's suffix: the workbook, when there is one.
    EXPECT_EQ(ReadFile(WorkDir() / "book.xlsx").rfind("PK", 0) == 0, bWorkbook);
    Download(1);
    const std::string next = view.saveRequests.back().proposedName;
    EXPECT_EQ(next.substr(next.rfind('.')), bWorkbook ? ".xlsx" : ".xls");

    exports::RememberForm(ResultsForm::Pdf);
    Open();
    Download(1);
    const bool bPdf = exports::FormBuilt(ResultsForm::Pdf);
    const SaveRequest& report = view.saveRequests.back();
    EXPECT_EQ(report.proposedForm, bPdf ? ResultsForm::Pdf : ResultsForm::Report);
    EXPECT_EQ(std::count(report.offeredForms.begin(), report.offeredForms.end(), ResultsForm::Pdf),
              bPdf ? 1 : 0);
    exports::RememberForm(ResultsForm::Report);
}

TEST_F(ReaderLogicTest, OnlyNewModeIsRememberedAndShown) {
    EXPECT_EQ(view.texts[IDC_COUNT_GROUP], "Количество записей");
    EXPECT_TRUE(view.enabled[IDC_RECORD_COUNT]);
    logic->SetOnlyNewRecords(true);
    EXPECT_EQ(view.texts[IDC_COUNT_GROUP], "Только новые записи");
    EXPECT_FALSE(view.enabled[IDC_RECORD_COUNT]);
    EXPECT_FALSE(view.enabled[IDC_RECORD_SPIN]);
    EXPECT_NE(view.tips[IDC_RECORD_COUNT].find("(100)"), std::string::npos);
    Open(); // the next run
    EXPECT_TRUE(logic->OnlyNewRecords());
    EXPECT_EQ(view.texts[IDC_COUNT_GROUP], "Только новые записи");
    logic->SetOnlyNewRecords(false);
    Open();
    EXPECT_FALSE(logic->OnlyNewRecords());
    EXPECT_TRUE(view.enabled[IDC_RECORD_COUNT]);
}

// Each download goes into the history; the status line says what it made
// of it. A build without the history says once that it was not updated and
// still writes the file.
TEST_F(ReaderLogicTest, HistoryMergeIsReported) {
    logic->m_bNoHistory = false;
    logic->m_szHistoryPath = (WorkDir() / "history.sqlite3").string();
    logic->SetOnlyNewRecords(true);
    view.saveAnswers = {At("first.doc", ResultsForm::Report)};
    Download(3);
    EXPECT_FALSE(ReadFile(WorkDir() / "first.doc").empty());
#if TARVEX_HISTORY_BUILT
    EXPECT_TRUE(view.boxes.empty()) << view.boxes[0].text;
    EXPECT_EQ(view.status, "Файл прочитан. Новых: 3, в историю: +3.");
    // Nothing new since: no save dialog, no file.
    Download(3);
    EXPECT_EQ(view.saveRequests.size(), 1u);
    EXPECT_EQ(view.status, "Новых записей нет.");
#else
    ASSERT_EQ(view.boxes.size(), 1u);
    EXPECT_EQ(view.boxes[0].icon, BoxIcon::Warning);
    EXPECT_EQ(view.boxes[0].text.rfind("История измерений не обновлена", 0), 0u)
        << view.boxes[0].text;
    EXPECT_EQ(view.status, "Файл прочитан. Новых: 3, история не обновлена.");
#endif
    logic->SetOnlyNewRecords(false);
}
