// The workbook, the PDF report and the chart, checked through what reads them:
// the workbook's own XML, poppler's text and font listings, pixels drawn.
#include <cairo-pdf.h>
#include <cairo.h>
#include <charconv>
#include <chrono>
#include <clocale>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <limits>
#include <map>
#include <sstream>

#include "exports/chart.h"
#include "exports/results_forms.h"
#include "exports/text_painter.h"
#include "exports/time_axis.h"
#include "tests/exports/export_fixture.h"

using exports::ResultsForm;

namespace {

constexpr float NaN = std::numeric_limits<float>::quiet_NaN();
constexpr float Inf = std::numeric_limits<float>::infinity();
constexpr float FltMax = std::numeric_limits<float>::max();

// Reportable records of every sort between two that are left out.
std::vector<ArchiveRecord> MixedRecords() {
    return {
        MakeRecord({}),             // the worked example
        MakeRecord({.kind = 0x80}), // not reportable
        MakeRecord({.kind = RecordKindEmptyCell, .exOrCo = 15.5f, .tgD = 0.0003f}),
        MakeRecord({.temperature = -50, .tgD = NaN}), // no sensor, no number
        MakeRecord({.minute = 0x1a, .exOrCo = Inf}),  // clock byte not BCD
        MakeRecord({.kind = 0x00}),                   // not reportable
        MakeRecord({.sample = 18, .cell = 3, .temperature = -49, .tgD = 0.02f}),
        MakeRecord({.cell = 2, .temperature = 70, .tgD = 0.0093f}), // sample 17 again, hot
    };
}

exports::ExportContent Content(const std::vector<ArchiveRecord>& records) {
    exports::ExportContent content;
    content.records = records;
    content.emptyCells = MakeEmptyCells(1.5e-11f, 1e-4f);
    content.title = {"Вельмар-7К", 1796036400, "COM3", 0};
    return content;
}

TEST(ResultsForms, NamesSuffixesAndKinds) {
    struct Case {
        ResultsForm form;
        const char *name, *suffix;
        bool table;
    };
    for (const Case& c : {Case{ResultsForm::Table, "table", "xls", true},
                          Case{ResultsForm::Report, "report", "doc", false},
                          Case{ResultsForm::Workbook, "xlsx", "xlsx", true},
                          Case{ResultsForm::Pdf, "pdf", "pdf", false}}) {
        EXPECT_EQ(exports::FormName(c.form), c.name);
        EXPECT_EQ(exports::FormFromName(c.name), c.form);
        EXPECT_EQ(exports::FormSuffix(c.form), c.suffix);
        EXPECT_EQ(exports::IsTableKind(c.form), c.table);
        EXPECT_EQ(exports::FormOfPath(std::string("dir.x/Results.") + c.suffix), c.form);
    }
    EXPECT_EQ(exports::FormOfPath("a/B.XLSX"), ResultsForm::Workbook);
    EXPECT_EQ(exports::FormOfPath("a.pdf/results"), std::nullopt);
    EXPECT_EQ(exports::FormOfPath("results.txt"), std::nullopt);
    EXPECT_EQ(exports::FormFromName("XLSX"), std::nullopt);

    std::tm newYear{};
    newYear.tm_year = 127, newYear.tm_mon = 0, newYear.tm_mday = 1, newYear.tm_hour = 12;
    const std::time_t t = std::mktime(&newYear);
    EXPECT_EQ(exports::ProposedName(ResultsForm::Workbook, t), "results01_01_27.xlsx");
    EXPECT_EQ(exports::ProposedName(ResultsForm::Pdf, t), "results01_01_27.pdf");
    EXPECT_EQ(exports::ProposedName(ResultsForm::Table, t), "results01_01_27.xls");
}

TEST(ExportContent, ClockBytesBecomeADateOnlyWhenTheyNameOne) {
    struct Case {
        uint8_t hour, minute, day, month, year;
        bool valid;
    };
    for (const Case& c :
         {Case{0x14, 0x05, 0x06, 0x12, 0x09, true}, Case{0x23, 0x59, 0x31, 0x12, 0x99, true},
          Case{0x00, 0x00, 0x29, 0x02, 0x24, true},  // leap year
          Case{0x00, 0x00, 0x29, 0x02, 0x26, false}, // not one
          Case{0x24, 0x00, 0x01, 0x01, 0x26, false},
          Case{0x10, 0x1a, 0x01, 0x01, 0x26, false}, // not BCD
          Case{0x10, 0x00, 0x31, 0x04, 0x26, false}, Case{0x10, 0x00, 0x00, 0x01, 0x26, false},
          Case{0x10, 0x00, 0x01, 0x13, 0x26, false}}) {
        const ArchiveRecord r = MakeRecord(
            {.hour = c.hour, .minute = c.minute, .day = c.day, .month = c.month, .year = c.year});
        EXPECT_EQ(exports::DecodeClock(r).has_value(), c.valid) << exports::RawClockText(r);
    }
    const auto clock = exports::DecodeClock(MakeRecord({}));
    ASSERT_TRUE(clock);
    EXPECT_EQ(std::tie(clock->year, clock->month, clock->day, clock->hour, clock->minute),
              std::make_tuple(2009, 12, 6, 14, 5));
    EXPECT_EQ(exports::RawClockText(MakeRecord({.minute = 0x1a})), "14:1a 06.12.09");
}

// Cells of one sheet: reference ("B2") to its attributes and value text.
struct Cell {
    std::string attributes, value;
    bool hasValue;
};
std::map<std::string, Cell> SheetCells(const std::string& xml) {
    std::map<std::string, Cell> cells;
    for (std::size_t at = xml.find("<c r=\""); at != std::string::npos;
         at = xml.find("<c r=\"", at + 1)) {
        const std::size_t refEnd = xml.find('"', at + 6), tagEnd = xml.find('>', refEnd);
        Cell cell{xml.substr(refEnd + 1, tagEnd - refEnd - 1), "", false};
        if (xml[tagEnd - 1] != '/') {
            const std::string inner = xml.substr(tagEnd + 1, xml.find("</c>", tagEnd) - tagEnd - 1);
            const std::size_t v = inner.find("<v>");
            cell.hasValue = v != std::string::npos;
            if (cell.hasValue)
                cell.value = inner.substr(v + 3, inner.find("</v>") - v - 3);
        } else {
            cell.attributes.pop_back(); // the '/' of "/>"
        }
        cells[xml.substr(at + 6, refEnd - at - 6)] = cell;
    }
    return cells;
}

// Whether any <v> value of the XML holds a comma.
bool AnyValueWithComma(const std::string& xml) {
    for (std::size_t at = xml.find("<v>"); at != std::string::npos; at = xml.find("<v>", at + 1))
        if (xml.substr(at, xml.find('<', at + 3) - at).find(',') != std::string::npos)
            return true;
    return false;
}

// A number as the XML writes it, read whatever the locale.
double Classic(const std::string& text) {
    double value = NAN;
    std::from_chars(text.data(), text.data() + text.size(), value);
    return value;
}

double ExcelSerial(int y, unsigned m, unsigned d, int hour, int minute) {
    using namespace std::chrono;
    const auto days = sys_days(year(y) / month(m) / day(d)) - sys_days(1899y / December / 30);
    return double(days.count()) + (hour * 60 + minute) / 1440.0;
}

class Exports : public testing::Test {
protected:
    void SetUp() override {
        // The program's locale writes a decimal comma; no file may show it.
        m_bLocale = std::setlocale(LC_ALL, "ru_RU.UTF-8") != nullptr;
    }
    void TearDown() override { std::setlocale(LC_ALL, "C"); }
    bool m_bLocale = false;
    ScratchDir m_dir;
};

TEST_F(Exports, WorkbookHoldsNumberCellsForEveryNumber) {
    const std::vector<ArchiveRecord> records = MixedRecords();
    const std::string path = m_dir.File("r.xlsx");
    ASSERT_TRUE(exports::WriteResultsForm(ResultsForm::Workbook, Content(records), path, ',').ok);
    const std::string sheet = CommandOutput("unzip -p '" + path + "' xl/worksheets/sheet1.xml");
    ASSERT_FALSE(sheet.empty()) << "unzip could not read the workbook";
    const auto cells = SheetCells(sheet);

    // Rows 2 to 7: the six reportable records in their order; row 8 is none.
    const std::vector<const ArchiveRecord*> kept = {&records[0], &records[2], &records[3],
                                                    &records[4], &records[6], &records[7]};
    EXPECT_EQ(cells.count("A8"), 0u);
    for (std::size_t i = 0; i < kept.size(); ++i) {
        const ArchiveRecord& r = *kept[i];
        const std::string row = std::to_string(i + 2);
        const std::map<std::string, double> numbers = {
            {"B", r.cellNumber()}, {"C", r.sampleNumber()}, {"D", r.temperature()},
            {"E", r.voltage()},    {"F", r.frequency()},    {"H", r.exOrCo()},
            {"I", r.tgD()}};
        for (const auto& [column, expected] : numbers) {
            const std::string ref = column + row;
            const bool blank = !std::isfinite(expected) || (column == "D" && expected < -49);
            ASSERT_EQ(cells.count(ref), blank ? cells.count(ref) : 1u) << ref;
            if (blank) {
                EXPECT_TRUE(cells.count(ref) == 0 || !cells.at(ref).hasValue) << ref;
                continue;
            }
            const Cell& c = cells.at(ref);
            EXPECT_EQ(c.attributes.find("t=\""), std::string::npos) << ref << c.attributes;
            EXPECT_NEAR(Classic(c.value), expected, std::abs(expected) * 1e-15)
                << ref << " holds " << c.value;
        }
    }
    EXPECT_EQ(cells.at("A2").attributes.find("t=\""), std::string::npos);
    EXPECT_NEAR(Classic(cells.at("A2").value), ExcelSerial(2009, 12, 6, 14, 5), 1e-9);
    EXPECT_NE(cells.at("A5").attributes.find("t=\"s\""), std::string::npos); // raw clock text
    EXPECT_EQ(sheet.find("<pane"), sheet.find("<pane ySplit=\"1\""));        // frozen header
    EXPECT_NE(CommandOutput("unzip -p '" + path + "' xl/workbook.xml").find("_FilterDatabase"),
              std::string::npos);

    const std::string comments = CommandOutput("unzip -p '" + path + "' xl/comments1.xml");
    for (const char* text : {"NaN", "+inf", "Датчик температуры не подключен", "несуществующую"})
        EXPECT_NE(comments.find(text), std::string::npos) << text;
    const std::string strings = CommandOutput("unzip -p '" + path + "' xl/sharedStrings.xml");
    for (const char* text : {"Дата и время", "Темп., °С", "U, В", "F, Гц", "Co,пФ", "tgDo"})
        EXPECT_NE(strings.find(text), std::string::npos) << text;

    const auto cellSheet =
        SheetCells(CommandOutput("unzip -p '" + path + "' xl/worksheets/sheet2.xml"));
    const EmptyCellTable& empty = Content(records).emptyCells;
    for (int i = 0; i < MeasuringCellCount; ++i) {
        const std::string row = std::to_string(i + 2);
        EXPECT_EQ(cellSheet.at("A" + row).value, std::to_string(i + 1));
        EXPECT_NEAR(Classic(cellSheet.at("B" + row).value), double(empty.co(i)) * 1e12, 1e-12);
        EXPECT_NEAR(Classic(cellSheet.at("C" + row).value), double(empty.tgDo(i)), 1e-18);
    }
    // Not one value is written with a decimal comma, whatever the locale.
    EXPECT_FALSE(AnyValueWithComma(sheet)) << m_bLocale;
}

TEST_F(Exports, PdfReportIsA4WithEmbeddedFontsAndEveryValue) {
    const std::vector<ArchiveRecord> records = MixedRecords();
    const std::string path = m_dir.File("r.pdf");
    ASSERT_TRUE(exports::WriteResultsForm(ResultsForm::Pdf, Content(records), path, '.').ok);
    const std::string text = CommandOutput("pdftotext -layout '" + path + "' -");
    ASSERT_FALSE(text.empty()) << "pdftotext could not read the report";
    for (const std::string& want : {Comma(double(0.0012f), 5),
                                    Comma(double(2.1f), 5),
                                    Comma(double(0.0003f), 5),
                                    Comma(15.5, 4),
                                    Comma(double(0.02f), 5),
                                    Comma(double(0.0093f), 5),
                                    std::string("не число"),
                                    std::string("+∞"),
                                    std::string("14:1a 06.12.09"),
                                    std::string("06.12.2009 14:05"),
                                    std::string("нет датчика"),
                                    std::string("-49"),
                                    std::string("Проба масла 17"),
                                    std::string("Проба масла 18"),
                                    std::string("Измерения пустых ячеек"),
                                    std::string("Параметры пустых ячеек"),
                                    std::string("Проба масла 17: tgD от температуры"),
                                    std::string("Прибор: Вельмар-7К"),
                                    std::string("Порт: COM3"),
                                    std::string("Число записей: 6"),
                                    std::string("стр. 1 из 1"),
                                    Comma(15.0, 4),
                                    Comma(90.0, 4),
                                    Comma(0.0006, 5)})
        EXPECT_NE(text.find(want), std::string::npos) << want;
    // Sample 18 has one temperature only: no chart for it.
    EXPECT_EQ(text.find("Проба масла 18: tgD"), std::string::npos);

    EXPECT_NE(CommandOutput("pdfinfo '" + path + "'").find("(A4)"), std::string::npos);
    const std::string fonts = CommandOutput("pdffonts '" + path + "'");
    int nFonts = 0;
    std::istringstream lines(fonts);
    std::string line;
    for (int n = 0; std::getline(lines, line); ++n) {
        if (n < 2)
            continue; // the heading and its underline
        ++nFonts;
        EXPECT_NE(line.find(" yes yes "), std::string::npos) << "not embedded: " << line;
    }
    EXPECT_GT(nFonts, 0) << fonts;
}

// Records from two downloads with different empty cells: each block names its
// instrument and read time beside its records and its own empty cells.
TEST_F(Exports, BlocksKeepTheirOwnEmptyCellsInTheWorkbookAndThePdf) {
    const std::vector<ArchiveRecord> records = MixedRecords();
    exports::ExportContent content = Content(records);
    const std::span<const ArchiveRecord> all = records;
    content.blocks = {
        {all.first(2), MakeEmptyCells(15e-12f, 1e-4f), "зав. № A1", 1796036400, 1796036400},
        {all.subspan(2), MakeEmptyCells(90e-12f, 3e-4f), "№ 2 в архиве", 1796122800, 1796209200}};
    const std::string book = m_dir.File("b.xlsx"), pdf = m_dir.File("b.pdf");
    ASSERT_TRUE(exports::WriteResultsForm(ResultsForm::Workbook, content, book, '.').ok);
    ASSERT_TRUE(exports::WriteResultsForm(ResultsForm::Pdf, content, pdf, '.').ok);

    const std::string strings = CommandOutput("unzip -p '" + book + "' xl/sharedStrings.xml");
    for (const char* text : {"Прибор", "Считано", "зав. № A1", "№ 2 в архиве"})
        EXPECT_NE(strings.find(text), std::string::npos) << text;
    // Two blocks of six empty-cell rows, the numbers two columns on.
    const auto cells =
        SheetCells(CommandOutput("unzip -p '" + book + "' xl/worksheets/sheet2.xml"));
    EXPECT_NEAR(Classic(cells.at("D2").value), 15.0, 1e-5);
    EXPECT_NEAR(Classic(cells.at("D8").value), 90.0, 1e-5);
    EXPECT_EQ(cells.count("A14"), 0u);

    const std::string text = CommandOutput("pdftotext -layout '" + pdf + "' -");
    const std::string later =
        exports::LocalTimeText(1796122800) + " – " + exports::LocalTimeText(1796209200);
    for (const std::string& want :
         {"Прибор зав. № A1, считано " + exports::LocalTimeText(1796036400),
          "Прибор № 2 в архиве, считано " + later,
          std::string("Считано: ") + exports::LocalTimeText(1796036400),
          std::string("пустых ячеек прибора № 2 в архиве"), Comma(90.0, 4)})
        EXPECT_NE(text.find(want), std::string::npos) << want;
}

TEST_F(Exports, LongReportsNumberTheirPages) {
    std::vector<ArchiveRecord> records;
    for (int i = 0; i < 300; ++i)
        records.push_back(MakeRecord(
            {.sample = 1 + i / 80, .cell = 1 + i % 6, .temperature = 20 + 10 * (i / 6 % 3)}));
    const std::string path = m_dir.File("long.pdf");
    ASSERT_TRUE(exports::WriteResultsForm(ResultsForm::Pdf, Content(records), path, '.').ok);
    const std::string info = CommandOutput("pdfinfo '" + path + "'");
    const std::size_t pages = info.find("Pages:");
    ASSERT_NE(pages, std::string::npos) << info;
    const std::string last = std::to_string(std::stoi(info.substr(pages + 6)));
    ASSERT_GT(std::stoi(last), 2);
    const std::string text =
        CommandOutput("pdftotext -f " + last + " -l " + last + " '" + path + "' -");
    EXPECT_NE(text.find("стр. " + last + " из " + last), std::string::npos);
    const std::string second = CommandOutput("pdftotext -f 2 -l 2 '" + path + "' -");
    EXPECT_NE(second.find("Проба масла 1 (продолжение)"), std::string::npos) << second;
}

// The words of a pdftotext -bbox listing of one page, in lines: words whose
// middles lie within 3 points (a cell set smaller keeps its row's middle).
struct Word {
    double xMin, xMax, middle;
    std::string text;
};
std::vector<std::vector<Word>> WordLines(const std::string& listing) {
    std::vector<std::vector<Word>> lines;
    for (std::size_t at = listing.find("<word "); at != std::string::npos;
         at = listing.find("<word ", at + 1)) {
        const std::size_t text = listing.find('>', at) + 1, end = listing.find("</word>", at);
        const auto number = [&](const char* name) { // classic, whatever the locale
            double value = NAN;
            const char* start = listing.data() + listing.find(name, at) + std::strlen(name) + 2;
            std::from_chars(start, listing.data() + text, value);
            return value;
        };
        const Word w{number("xMin"), number("xMax"), (number("yMin") + number("yMax")) / 2,
                     listing.substr(text, end - text)};
        const auto line = std::find_if(lines.begin(), lines.end(), [&](const auto& l) {
            return std::abs(l[0].middle - w.middle) < 3;
        });
        line == lines.end() ? lines.push_back({w}) : line->push_back(w);
    }
    return lines;
}

// A sample whose table and chart fit on one page is not split between two,
// and damaged values (far beyond any measurement, not a number, infinite)
// stay within their columns.
TEST_F(Exports, PdfKeepsASampleTogetherAndEveryValueInItsColumn) {
    std::vector<ArchiveRecord> records;
    // Sample 17 fills half of page 1; sample 500's table fits below it, its chart does not.
    for (int i = 0; i < 9; ++i)
        records.push_back(MakeRecord({.sample = 17, .cell = 1 + i % 3, .temperature = 20 + i / 3}));
    for (int i = 0; i < 12; ++i)
        records.push_back(
            MakeRecord({.sample = 500, .cell = 2 + i % 3, .temperature = 20 + i / 3}));
    records.push_back(MakeRecord(
        {.sample = 501, .voltage = Inf, .frequency = NaN, .exOrCo = FltMax, .tgD = 1e30f}));
    records.push_back(MakeRecord(
        {.sample = 501, .voltage = -3.4e38f, .frequency = 1e20f, .exOrCo = -Inf, .tgD = -2.5e37f}));
    const std::string path = m_dir.File("edges.pdf");
    ASSERT_TRUE(exports::WriteResultsForm(ResultsForm::Pdf, Content(records), path, '.').ok);
    const std::string first = CommandOutput("pdftotext -f 1 -l 1 '" + path + "' -");
    const std::string second = CommandOutput("pdftotext -f 2 -l 2 '" + path + "' -");
    EXPECT_EQ(first.find("Проба масла 500"), std::string::npos) << first;
    EXPECT_NE(second.find("Проба масла 500\n"), std::string::npos) << second;
    EXPECT_NE(second.find("Проба масла 500: tgD"), std::string::npos) << second;
    EXPECT_NE(second.find("Ex=3,4028e+38"), std::string::npos) << second;

    // No two words of a record's row overlap, and none leaves the body of the page.
    int rows = 0;
    for (const auto& words : WordLines(CommandOutput("pdftotext -bbox -f 2 -l 2 '" + path + "' -")))
        for (std::size_t i = 0; i < words.size(); ++i) {
            rows += words[i].text.starts_with("tgDx=");
            EXPECT_LE(words[i].xMax, 545.8) << words[i].text;
            for (std::size_t j = i + 1; j < words.size(); ++j)
                EXPECT_TRUE(words[i].xMax <= words[j].xMin || words[j].xMax <= words[i].xMin)
                    << words[i].text << " overlaps " << words[j].text;
        }
    EXPECT_EQ(rows, 14);
}

TEST_F(Exports, FailedWritesLeaveNoFileAndKeepTheOldOne) {
    const std::vector<ArchiveRecord> records = MixedRecords();
    for (ResultsForm form :
         {ResultsForm::Table, ResultsForm::Report, ResultsForm::Workbook, ResultsForm::Pdf}) {
        const std::string suffix(exports::FormSuffix(form));
        const WriteOutcome missing = exports::WriteResultsForm(
            form, Content(records), m_dir.File("missing/r." + suffix), ',');
        EXPECT_FALSE(missing.ok);
        EXPECT_FALSE(missing.reason.empty());

        const std::string kept = m_dir.File("kept." + suffix);
        std::ofstream(kept) << "old";
        EXPECT_FALSE(exports::WriteResultsForm(form, Content(records), kept, ',',
                                               ReplacePolicy::KeepExisting)
                         .ok);
        EXPECT_EQ(CommandOutput("cat '" + kept + "'"), "old");
        EXPECT_TRUE(exports::WriteResultsForm(form, Content(records), kept, ',').ok);
        EXPECT_GT(std::filesystem::file_size(kept), 100u) << suffix;
    }
    // Nothing but the kept files: no temporary file is left behind.
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(m_dir.Path()), {}), 4);
}

TEST_F(Exports, RememberedFormFollowsTheLastChoicePerKind) {
    setenv("XDG_CONFIG_HOME", m_dir.Path().c_str(), 1);
    EXPECT_EQ(exports::RememberedForm(true), ResultsForm::Table);
    EXPECT_EQ(exports::RememberedForm(false), ResultsForm::Report);
    EXPECT_EQ(exports::RememberForm(ResultsForm::Workbook), 1);
    EXPECT_EQ(exports::RememberForm(ResultsForm::Pdf), 1);
    EXPECT_EQ(exports::RememberedForm(true), ResultsForm::Workbook);
    EXPECT_EQ(exports::RememberedForm(false), ResultsForm::Pdf);
    EXPECT_EQ(exports::RememberForm(ResultsForm::Report), 1);
    EXPECT_EQ(exports::RememberedForm(false), ResultsForm::Report);
    // A value of the other kind, or none known, is the old form again.
    std::ofstream(m_dir.File("tarvex/tarvex.ini")) << "[Tarvex]\nTableForm=pdf\nReportForm=odt\n";
    EXPECT_EQ(exports::RememberedForm(true), ResultsForm::Table);
    EXPECT_EQ(exports::RememberedForm(false), ResultsForm::Report);
    unsetenv("XDG_CONFIG_HOME");
}

TEST(Chart, OneSeriesPerCellOnlyWithTwoTemperatures) {
    const std::vector<ArchiveRecord> records = {
        MakeRecord({.cell = 1, .temperature = 20, .tgD = 0.001f}),
        MakeRecord({.cell = 1, .temperature = 90, .tgD = 0.01f}),
        MakeRecord({.cell = 2, .temperature = 90, .tgD = 0.02f}),
        MakeRecord({.cell = 2, .temperature = 50, .tgD = 0.0f}),   // no place on a log scale
        MakeRecord({.cell = 3, .temperature = -50, .tgD = 0.01f}), // no sensor
        MakeRecord({.kind = RecordKindEmptyCell, .temperature = 40, .tgD = 0.01f}),
        MakeRecord({.sample = 18, .temperature = 40, .tgD = 0.01f}),
    };
    std::vector<const ArchiveRecord*> list;
    for (const ArchiveRecord& r : records)
        list.push_back(&r);
    const auto chart = exports::TgdTemperatureChart(list, 17);
    ASSERT_TRUE(chart);
    ASSERT_EQ(chart->series.size(), 2u);
    EXPECT_EQ(chart->series[0].name, "ячейка N1");
    EXPECT_EQ(chart->series[1].cell, 2);
    EXPECT_EQ(chart->series[0].points.size(), 2u);
    EXPECT_EQ(chart->series[1].points.size(), 1u);
    EXPECT_FALSE(exports::TgdTemperatureChart(list, 18));
    EXPECT_FALSE(exports::TgdTemperatureChart(std::span(list).first(1), 17));
}

// The chart on an image surface, as a window draws it on screen.
TEST(Chart, DrawsOnAnImageSurface) {
    exports::ChartSpec chart{
        "tgD", "Температура, °С", "tgD", true, false, {{"ячейка N1", {{20, 0.001}, {90, 0.05}}}}};
    cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, 480, 300);
    cairo_t* cr = cairo_create(surface);
    cairo_set_source_rgb(cr, 1, 1, 1);
    cairo_paint(cr);
    exports::DrawChart(cr, {0, 0, 480, 300}, chart);
    cairo_surface_flush(surface);
    const unsigned char* data = cairo_image_surface_get_data(surface);
    const int stride = cairo_image_surface_get_stride(surface);
    int ink = 0, blue = 0;
    for (int y = 0; y < 300; ++y)
        for (int x = 0; x < 480; ++x) {
            const uint32_t pixel = *reinterpret_cast<const uint32_t*>(data + y * stride + 4 * x);
            const int r = (pixel >> 16) & 0xFF, g = (pixel >> 8) & 0xFF, b = pixel & 0xFF;
            ink += r < 128 && g < 128 && b < 128;
            blue += b > 150 && r < 80;
        }
    cairo_destroy(cr);
    cairo_surface_destroy(surface);
    EXPECT_GT(ink, 500);  // frame, labels and texts
    EXPECT_GT(blue, 100); // the first series' line
}

// The colour most pixels of a chart drawn at 480 x 300 have, among the
// coloured ones (the lines and markers; the frame, grid and texts are grey).
uint32_t LineColour(const exports::ChartSpec& chart) {
    cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_RGB24, 480, 300);
    cairo_t* cr = cairo_create(surface);
    cairo_set_source_rgb(cr, 1, 1, 1);
    cairo_paint(cr);
    exports::DrawChart(cr, {0, 0, 480, 300}, chart);
    cairo_surface_flush(surface);
    std::map<uint32_t, int> counts;
    const auto* pixels = reinterpret_cast<const uint32_t*>(cairo_image_surface_get_data(surface));
    for (int i = 0; i < 480 * 300; ++i) { // RGB24 rows of 480 are 1920 bytes: no padding
        const uint32_t pixel = pixels[i] & 0xFFFFFF;
        const int r = pixel >> 16, g = (pixel >> 8) & 0xFF, b = pixel & 0xFF;
        if (std::max({r, g, b}) - std::min({r, g, b}) > 60)
            ++counts[pixel];
    }
    cairo_destroy(cr);
    cairo_surface_destroy(surface);
    return std::max_element(counts.begin(), counts.end(),
                            [](auto& a, auto& b) { return a.second < b.second; })
        ->first;
}

// Cell 5 is drawn in one colour whether it is a chart's only line or its
// second (after a cell with no point to draw), in the window as in the report.
TEST(Chart, ACellHasOneColourWhateverCellsTheChartHolds) {
    exports::ChartSeries five = exports::CellSeries(5);
    five.points = {{20, 0.001}, {50, 0.004}, {90, 0.02}};
    exports::ChartSpec alone{"tgD", "Температура, °С", "tgD", true, false, {five}};
    exports::ChartSpec second = alone;
    second.series.insert(second.series.begin(), exports::CellSeries(1));
    EXPECT_EQ(five.name, "ячейка N5");
    EXPECT_EQ(LineColour(alone), LineColour(second));
    exports::ChartSpec two = alone;
    two.series[0].cell = 2;
    EXPECT_NE(LineColour(alone), LineColour(two));
}

// A time axis is labelled with times of day, each day's date under its
// first, when the points fall within a day or two, and with years over long
// spans; never more labels than asked for.
TEST(Chart, TimeAxisLabelsTimesWithinADayAndYearsOverLongSpans) {
    const auto at = [](int year, int month, int day, int hour) {
        std::tm tm{};
        tm.tm_year = year - 1900, tm.tm_mon = month - 1, tm.tm_mday = day, tm.tm_hour = hour;
        tm.tm_isdst = -1;
        return double(std::mktime(&tm));
    };
    const auto overnight = exports::TimeTicks(at(2021, 3, 5, 20), at(2021, 3, 6, 4), 6);
    ASSERT_EQ(overnight.size(), 5u);
    for (std::size_t i = 0; i < overnight.size(); ++i)
        EXPECT_EQ(overnight[i].date, i == 0 ? "05.03.21" : i == 2 ? "06.03.21" : "") << i;
    EXPECT_EQ(overnight[1].label, "22:00");
    const auto years = exports::TimeTicks(at(2001, 6, 1, 0), at(2024, 6, 1, 0), 6);
    ASSERT_EQ(years.size(), 4u);
    EXPECT_EQ(years[0].label, "2005");

    // The chart of a morning shows them under its axis.
    exports::ChartSeries cell = exports::CellSeries(1);
    cell.points = {{at(2021, 3, 5, 9), 0.001}, {at(2021, 3, 5, 14) + 1200, 0.01}};
    const ScratchDir dir;
    cairo_surface_t* surface = cairo_pdf_surface_create(dir.File("c.pdf").c_str(), 480, 300);
    cairo_t* cr = cairo_create(surface);
    exports::DrawChart(cr, {0, 0, 480, 300}, {"tgD", "Дата", "tgD", true, true, {cell}});
    cairo_destroy(cr);
    cairo_surface_destroy(surface);
    const std::string text = CommandOutput("pdftotext '" + dir.File("c.pdf") + "' -");
    for (const char* label : {"10:00", "12:00", "14:00", "05.03.21"})
        EXPECT_NE(text.find(label), std::string::npos) << label << " not in " << text;
}

// The font caches go before the leak checker looks.
class FontCaches : public testing::Environment {
public:
    void TearDown() override { exports::ReleaseFontCaches(); }
};
const testing::Environment* const g_fontCaches = testing::AddGlobalTestEnvironment(new FontCaches);

} // namespace
