// tarvex-history on a history of known records: the filters, both list
// forms, export and stats, and the exit status of every failure.
#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <locale.h>
#include <set>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "archive/results_writer.h"
#include "exports/export_content.h"
#include "history/record_store.h"
#include "platform/codepage.h"
#include "tests/e2e/reader_process.h"
#include "tests/support/history_records.h"
#include "tests/support/sim_process.h"

namespace {

struct ToolRun {
    int status = -1;
    std::string out, err;
};

ToolRun RunTool(const TempDir& dir, const std::vector<std::string>& args,
                const std::string& locale) {
    std::string command =
        "cd '" + dir.Path() + "' && LC_ALL=" + locale + " LANGUAGE= exec '" TARVEX_HISTORY_PATH "'";
    for (const std::string& arg : args)
        command += " '" + arg + "'";
    command += " >'" + dir.File("stdout") + "' 2>'" + dir.File("stderr") + "'";
    const int wstatus = std::system(command.c_str());
    return {WIFEXITED(wstatus) ? WEXITSTATUS(wstatus) : -1, ReadFile(dir.File("stdout")),
            ReadFile(dir.File("stderr"))};
}

std::string Report(const std::vector<ArchiveRecord>& records) {
    std::string text;
    FormatRecords(records.data(), records.size(), EmptyCellTable{}, 0, '.',
                  [&](std::string_view piece) {
                      text += piece;
                      return true;
                  });
    return text;
}

size_t Lines(const std::string& text) {
    return static_cast<size_t>(std::count(text.begin(), text.end(), '\n'));
}

class HistoryTool : public testing::Test {
protected:
    void SetUp() override {
        // Sample n, cell 1 + n % 6, measured 2021-03-05 10:(n % 60); n = 1..150.
        const std::vector<ArchiveRecord> records = Records(1, 150);
        history::DownloadEntry entry;
        entry.device = "/dev/ttyS2";
        entry.count = 150;
        history::openHistory(m_dir.File("h.sqlite3"), history::OpenMode::ReadWrite)
            ->mergeDownload(entry, records);
        std::ofstream(m_dir.File("corrupt.sqlite3")) << std::string(4096, 'q');
        std::system(("sqlite3 '" + m_dir.File("other.db") + "' 'CREATE TABLE t(x)'").c_str());
    }
    ToolRun Run(std::vector<std::string> args, const std::string& db = "h.sqlite3",
                const std::string& locale = "C") {
        args.insert(args.begin() + (args.empty() ? 0 : 1), {"--database", m_dir.File(db)});
        return RunTool(m_dir, args, locale);
    }
    TempDir m_dir;
};

TEST_F(HistoryTool, ListsWhatTheFiltersSelect) {
    struct Case {
        std::vector<std::string> args;
        size_t lines; // of standard output
        const char* has;
    } cases[] = {
        {{"list", "--sample", "77"}, 3, "2021-03-05  10:17     77   6       20"},
        {{"list", "--cell", "1", "--csv"}, 26, "2021-03-05,10:06,6,1,sample,20,0,0,0,0\n"},
        {{"list", "--from", "2021-03-05", "--to", "05.03.2021"}, 152, "150 records"},
        {{"list", "--from", "2021-03-06"}, 2, "0 records"},
        {{"list", "--sample", "7", "--cell", "2", "--csv"}, 2, ",7,2,sample,"},
        {{"list", "--from", "1999-12-31", "--to", "01.01.2100"}, 152, "150 records"},
        {{"stats"}, 6, "Records:          150\nDownloads:        1\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.args.back());
        const ToolRun run = Run(c.args);
        EXPECT_EQ(run.status, 0) << run.err;
        EXPECT_EQ(Lines(run.out), c.lines) << run.out;
        EXPECT_NE(run.out.find(c.has), std::string::npos) << run.out;
    }
    // A bound outside the clock's years is taken, and what it means is said.
    const ToolRun early = Run({"list", "--to", "1999-12-31"});
    EXPECT_EQ(early.status, 0);
    EXPECT_TRUE(early.out.ends_with("\n0 records\n")) << early.out;
    EXPECT_EQ(early.err, "tarvex-history: --to 1999-12-31 is before 2000-01-01, the first date the "
                         "instrument's clock can hold (its years have two digits: 2000 to 2099): "
                         "no record can match\n");
    // Ordered by measurement time: minute 10:01 holds samples 1, 61 and 121.
    const ToolRun csv = Run({"list", "--csv", "--from", "2021-03-05"});
    EXPECT_EQ(csv.out.substr(csv.out.find('\n') + 1, 36), "2021-03-05,10:00,60,1,sample,20,0,0,");
}

TEST_F(HistoryTool, ExportsTheSelectionInTheResultsForms) {
    const ToolRun run =
        Run({"export", "--sample", "77", "--format", "report", "--output", "r.doc"});
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.out, "r.doc: 1 record\n");
    const std::string expected = Report({MakeRecord(77)});
    EXPECT_TRUE(ReadFile(m_dir.File("r.doc")) == expected);
    EXPECT_EQ(Run({"export", "--format", "report", "--output", "r.doc"}).status, 5);
    EXPECT_EQ(ReadFile(m_dir.File("r.doc")), expected);
    EXPECT_EQ(Run({"export", "--format", "report", "--output", "r.doc", "--force"}).status, 0);
    // All of them, by measurement time: minute 10:00 holds 60, 120, then 10:01 holds 1, 61, 121.
    std::vector<ArchiveRecord> all;
    for (int minute = 0; minute < 60; ++minute)
        for (int n = minute == 0 ? 60 : minute; n <= 150; n += 60)
            all.push_back(MakeRecord(n));
    EXPECT_TRUE(ReadFile(m_dir.File("r.doc")) == Report(all));
    // The workbook and the PDF report of the same selection.
    for (const auto& [form, magic] : {std::pair{"xlsx", "PK"}, std::pair{"pdf", "%PDF"}}) {
        const ToolRun made = Run({"export", "--cell", "2", "--format", form});
        EXPECT_EQ(made.status, 0) << made.err;
        EXPECT_EQ(made.out, "history." + std::string(form) + ": 25 records\n");
        EXPECT_EQ(ReadFile(m_dir.File("history." + std::string(form))).rfind(magic, 0), 0u);
    }
}

TEST_F(HistoryTool, FailuresEndWithTheirStatus) {
    struct Case {
        std::vector<std::string> args;
        const char* db;
        int status;
        const char* says;
    } cases[] = {
        {{"list", "--sample", "x"}, "h.sqlite3", 2, "--sample takes"},
        {{"list", "--from", "2021-02-30"}, "h.sqlite3", 2, "no date 2021-02-30 in the calendar"},
        {{"list", "--to", "1.3.2021"}, "h.sqlite3", 2, "--to takes a date"},
        {{"export", "--sample", "9999", "--format", "pdf"}, "h.sqlite3", 1, "no record matches"},
        {{"list", "--from", "2021-03-06", "--to", "2021-03-05"}, "h.sqlite3", 2, "after --to"},
        {{"list", "--output", "x"}, "h.sqlite3", 2, "belong to export"},
        {{"export", "--format", "docx"}, "h.sqlite3", 2, "--format is table"},
        {{"show"}, "h.sqlite3", 2, "unknown command"},
        {{"list"}, "absent.sqlite3", 6, "no history at"},
        {{"stats"}, "corrupt.sqlite3", 6, "cannot be read"},
        {{"export", "--output", "no/such/folder/x.xls"}, "h.sqlite3", 5, "No such file"},
        {{"stats"}, ".", 6, "is a folder"},
        {{"list"}, "other.db", 6, "another program's database"},
        {{"backup"}, "h.sqlite3", 2, "backup needs the path"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.args[0] + " " + c.db);
        const ToolRun run = Run(c.args, c.db);
        EXPECT_EQ(run.status, c.status);
        EXPECT_NE(run.err.find(c.says), std::string::npos) << run.err;
        if (c.status == 2) { // one line that says where the usage is
            EXPECT_EQ(std::count(run.err.begin(), run.err.end(), '\n'), 1) << run.err;
        }
    }
    // An export that matches nothing leaves no file, not even an empty report.
    EXPECT_FALSE(std::filesystem::exists(m_dir.File("history.pdf")));
}

// A damaged history: check says so (7), recover keeps what can be read and
// sets the damaged file aside; backup copies, and keeps an existing copy
// unless --force. A read-only history is listed by an ordinary user.
TEST_F(HistoryTool, LooksAfterTheFile) {
    std::filesystem::copy_file(m_dir.File("h.sqlite3"), m_dir.File("d.sqlite3"));
    std::fstream(m_dir.File("d.sqlite3"), std::ios::in | std::ios::out | std::ios::binary)
        .seekp(4096)
        .write(std::string(4096, '\xff').data(), 4096);
    ToolRun run = Run({"check"}, "d.sqlite3");
    EXPECT_EQ(run.status, 7) << run.err;
    EXPECT_NE(run.out.find("DAMAGED"), std::string::npos) << run.out;
    run = Run({"recover"}, "d.sqlite3");
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_NE(run.out.find("the damaged file is kept as "), std::string::npos) << run.out;
    EXPECT_EQ(Run({"check"}, "d.sqlite3").status, 0);

    EXPECT_EQ(Run({"backup", m_dir.File("b.sqlite3")}).status, 0);
    EXPECT_EQ(Run({"backup", m_dir.File("b.sqlite3")}).status, 5);
    EXPECT_EQ(Run({"backup", m_dir.File("b.sqlite3"), "--force"}).status, 0);
    EXPECT_EQ(Run({"stats"}, "b.sqlite3").out,
              Run({"stats"}).out.replace(Run({"stats"}).out.find("h.sqlite3"), 9, "b.sqlite3"));

    if (geteuid() == 0) { // as an ordinary user, who may not write there
        chmod(m_dir.Path().c_str(), 0555);
        const int status = std::system(("setpriv --reuid=65534 --regid=65534 --clear-groups '" +
                                        std::string(TARVEX_HISTORY_PATH) + "' list --database '" +
                                        m_dir.File("h.sqlite3") + "' >/dev/null")
                                           .c_str());
        chmod(m_dir.Path().c_str(), 0700);
        EXPECT_EQ(WEXITSTATUS(status), 0);
    }
}

// The messages follow the user's language, the system's error texts among
// them; what programs read (the CSV list) does not change with it.
TEST_F(HistoryTool, SpeaksTheUsersLanguageAndKeepsTheCsv) {
    const locale_t installed = newlocale(LC_ALL_MASK, "ru_RU.UTF-8", locale_t(0));
    if (installed == locale_t(0))
        GTEST_SKIP() << "ru_RU.UTF-8 is not installed";
    freelocale(installed);
    const std::string russian = "ru_RU.UTF-8";
    EXPECT_EQ(Run({"list", "--csv"}, "h.sqlite3", russian).out, Run({"list", "--csv"}).out);
    struct Case {
        std::vector<std::string> args;
        const char* db;
        const char* says; // on standard output, else on standard error
    } cases[] = {
        {{"list", "--sample", "77"}, "h.sqlite3", "\n1 запись\n"},
        {{"list", "--cell", "2"}, "h.sqlite3", "\n25 записей\n"},
        {{"list", "--sample", "x"}, "h.sqlite3", "--sample принимает номер пробы"},
        {{"list"}, "absent.sqlite3", "ещё нет"},
        {{"export", "--sample", "9999"}, "h.sqlite3", "ни одна запись не подходит под фильтры"},
        {{"export", "--output", "no/such/folder/x.xls"},
         "h.sqlite3",
         "Нет такого файла или каталога"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.args.back());
        const ToolRun run = Run(c.args, c.db, russian);
        EXPECT_NE((run.out + run.err).find(c.says), std::string::npos) << run.out << run.err;
    }
    // The stats values share one column however long the translated labels are.
    const ToolRun stats = Run({"stats"}, "h.sqlite3", russian);
    std::set<size_t> columns;
    for (size_t start = 0; start < stats.out.size();) {
        const size_t end = stats.out.find('\n', start);
        const std::string line = stats.out.substr(start, end - start);
        const std::string label = line.substr(0, line.find_first_not_of(' ', line.find(':') + 1));
        columns.insert(static_cast<size_t>(std::count_if(
            label.begin(), label.end(), [](unsigned char ch) { return (ch & 0xC0) != 0x80; })));
        start = end + 1;
    }
    EXPECT_EQ(columns.size(), 1u) << stats.out;
    EXPECT_NE(stats.out.find("Записей:"), std::string::npos) << stats.out;
}

// Two instruments on one cable whose records share sample numbers, and a
// later download of the first with its empty cells measured anew.
class TwoInstruments : public HistoryTool {
protected:
    void SetUp() override {
        auto store = history::openHistory(m_dir.File("two.sqlite3"), history::OpenMode::ReadWrite);
        const auto download = [&](std::int64_t time, int first, int last, std::uint8_t cells) {
            history::DownloadEntry entry;
            entry.time = time;
            entry.device = "/dev/ttyUSB0";
            entry.emptyCells.bytes[4] = cells;
            m_cells.push_back(entry.emptyCells);
            return store->mergeDownload(entry, Records(first, last)).instrumentId;
        };
        // Samples 1..3 each: 65536 + n has sample n but other bytes.
        EXPECT_EQ(download(m_times[0], 1, 3, 1), 1);
        EXPECT_EQ(download(m_times[1], 65537, 65539, 2), 2);
        EXPECT_EQ(download(m_times[2], 1, 4, 3), 1);
    }
    // The report block of records read at time with cells, as the export heads it.
    std::string Block(const std::string& instrument, std::time_t time, const EmptyCellTable& cells,
                      const std::vector<ArchiveRecord>& records) {
        std::string text = Utf8ToCp1251("Прибор: " + instrument + ", считано " +
                                        exports::LocalTimeText(time) + "\n");
        FormatRecords(records.data(), records.size(), cells, 0, '.', [&](std::string_view piece) {
            text += piece;
            return true;
        });
        return text;
    }
    const std::time_t m_times[3] = {1796036400, 1796122800, 1796209200};
    std::vector<EmptyCellTable> m_cells;
};

TEST_F(TwoInstruments, OneSampleNumberIsTwoSamplesListedAndExportedApart) {
    const ToolRun list = Run({"list", "--sample", "1"}, "two.sqlite3");
    EXPECT_EQ(Lines(list.out), 4u) << list.out;
    EXPECT_NE(list.out.find("tgD  Прибор\n"), std::string::npos) << list.out;
    EXPECT_NE(list.out.find("0.00000  1\n"), std::string::npos) << list.out;
    EXPECT_NE(list.out.find("0.00000  2\n"), std::string::npos) << list.out;
    const ToolRun one = Run({"list", "--sample", "1", "--instrument", "2", "--csv"}, "two.sqlite3");
    EXPECT_EQ(Lines(one.out), 2u) << one.out;
    EXPECT_NE(one.out.find(",tgd,instrument\n"), std::string::npos) << one.out;
    EXPECT_NE(one.out.find(",sample,20,0,0,0,0,2\n"), std::string::npos) << one.out;

    // Each instrument's sample 1 with its own empty cells and read time.
    ASSERT_EQ(Run({"export", "--sample", "1", "--format", "report"}, "two.sqlite3").status, 0);
    EXPECT_TRUE(ReadFile(m_dir.File("history.doc")) ==
                Block("№ 1 в архиве", m_times[0], m_cells[0], {MakeRecord(1)}) + "\n" +
                    Block("№ 2 в архиве", m_times[1], m_cells[1], {MakeRecord(65537)}));
    // One instrument over two downloads whose empty cells differ: two blocks.
    ASSERT_EQ(
        Run({"export", "--instrument", "1", "--format", "report", "--force"}, "two.sqlite3").status,
        0);
    EXPECT_TRUE(ReadFile(m_dir.File("history.doc")) ==
                Block("№ 1 в архиве", m_times[0], m_cells[0], Records(1, 3)) + "\n" +
                    Block("№ 1 в архиве", m_times[2], m_cells[2], {MakeRecord(4)}));
    for (const char* form : {"table", "xlsx", "pdf"})
        EXPECT_EQ(Run({"export", "--format", form}, "two.sqlite3").status, 0) << form;
    EXPECT_NE(ReadFile(m_dir.File("history.xls")).find(Utf8ToCp1251("Прибор\t№ 2 в архиве\t")),
              std::string::npos);
}

TEST_F(TwoInstruments, NamedJoinedAndRefused) {
    EXPECT_EQ(Run({"name", "2", "VK-0042"}, "two.sqlite3").status, 0);
    const ToolRun listed = Run({"instruments"}, "two.sqlite3");
    EXPECT_NE(listed.out.find("   2  VK-0042               3       1"), std::string::npos)
        << listed.out;
    EXPECT_NE(listed.out.find("2 instruments\n"), std::string::npos) << listed.out;
    EXPECT_EQ(Lines(Run({"list", "--instrument", "VK-0042", "--csv"}, "two.sqlite3").out), 4u);
    struct Case {
        std::vector<std::string> args;
        const char* says;
    } refused[] = {
        {{"name", "1", "VK-0042"}, "names another instrument"},
        {{"name", "9", "A"}, "no instrument '9'"},
        {{"name", "1"}, "name ID NAME"},
        {{"join", "1", "1"}, "two different"},
        {{"stats", "--instrument", "1"}, "belongs to list and export"},
        {{"list", "--instrument", "VK-9"}, "no instrument 'VK-9'"},
    };
    for (const Case& c : refused) {
        const ToolRun run = Run(c.args, "two.sqlite3");
        EXPECT_EQ(run.status, 2) << c.args[0];
        EXPECT_NE(run.err.find(c.says), std::string::npos) << run.err;
    }
    // After a cleared archive: one instrument, its name kept, the column gone.
    EXPECT_EQ(Run({"join", "1", "VK-0042"}, "two.sqlite3").status, 0);
    EXPECT_NE(Run({"instruments"}, "two.sqlite3").out.find("   1  VK-0042               7       3"),
              std::string::npos);
    EXPECT_EQ(Run({"list", "--csv"}, "two.sqlite3").out.find("instrument"), std::string::npos);
}

} // namespace
