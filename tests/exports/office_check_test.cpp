// The new forms opened by the programs users open them with, after a real
// download from the simulator on a paced line: LibreOffice Calc (headless,
// no import options) under a Russian and an English locale, and poppler.
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <gtest/gtest.h>
#include <sstream>

#include "archive/results_format.h"
#include "exports/export_content.h"
#include "tests/e2e/reader_process.h"
#include "tests/exports/export_fixture.h"
#include "tests/support/sim_process.h"

namespace {

constexpr int POSITION = 300, COUNT = 30;

// Slots 0..COUNT-1 of a download at POSITION from the simulator's archive.
std::vector<ArchiveRecord> DownloadedRecords(const TempDir& dir, EmptyCellTable& cells) {
    const std::string dump = dir.File("archive.bin");
    EXPECT_EQ(std::system((TARVEX_SIM_PATH " --seed 7 --dump-archive " + dump).c_str()), 0);
    const std::string archive = ReadFile(dump);
    std::vector<ArchiveRecord> records(COUNT);
    if (archive.size() != 56u + 2000u * 32u)
        return {};
    std::memcpy(cells.bytes, archive.data(), 56);
    for (int k = 0; k < COUNT; ++k)
        std::memcpy(records[k].bytes, archive.data() + 56 + 32 * ((POSITION - COUNT + k) % 2000),
                    32);
    return records;
}

// One CSV file as rows of fields (quotes removed, "" inside quotes kept as ").
std::vector<std::vector<std::string>> ReadCsv(const std::string& path) {
    std::vector<std::vector<std::string>> rows;
    std::ifstream in(path);
    for (std::string line; std::getline(in, line);) {
        std::vector<std::string> fields(1);
        bool quoted = false;
        for (std::size_t i = 0; i < line.size(); ++i) {
            const char c = line[i];
            if (c == '"' && quoted && i + 1 < line.size() && line[i + 1] == '"')
                fields.back() += line[++i];
            else if (c == '"')
                quoted = !quoted;
            else if (c == ',' && !quoted)
                fields.emplace_back();
            else
                fields.back() += c;
        }
        rows.push_back(fields);
    }
    return rows;
}

// A number as Calc printed it in the locale: a decimal comma or point.
double CalcNumber(std::string text) {
    for (char& c : text)
        c = c == ',' ? '.' : c;
    std::istringstream in(text);
    in.imbue(std::locale::classic());
    double value = NAN;
    in >> value;
    return in && in.eof() ? value : NAN;
}

void ExpectValue(const std::string& text, double expected, const std::string& where) {
    if (!std::isfinite(expected)) {
        EXPECT_EQ(text, "") << where;
        return;
    }
    // Calc writes 15 significant digits.
    EXPECT_NEAR(CalcNumber(text), expected, std::abs(expected) * 1e-13 + 1e-300)
        << where << ": '" << text << "'";
}

// A date-time cell as Calc writes its value: in the locale's date order.
std::string ClockText(const ArchiveRecord& r, bool monthFirst) {
    const auto clock = exports::DecodeClock(r);
    if (!clock)
        return exports::RawClockText(r);
    const std::string time = FormatClassic(" %02d:%02d:00", clock->hour, clock->minute);
    if (monthFirst)
        return FormatClassic("%02d/%02d/%04d", clock->month, clock->day, clock->year) + time;
    return FormatClassic("%02d.%02d.%04d", clock->day, clock->month, clock->year) + time;
}

TEST(OfficePrograms, OpenTheWorkbookAndThePdfReportOfADownload) {
    TempDir dir;
    SimProcess sim({"--seed", "7", "--position", std::to_string(POSITION)}); // paced line
    ASSERT_FALSE(sim.DevicePath().empty());
    EmptyCellTable cells{};
    const std::vector<ArchiveRecord> records = DownloadedRecords(dir, cells);
    ASSERT_EQ(records.size(), std::size_t(COUNT));
    const auto kept = exports::ReportableRecords(records);
    ASSERT_GT(kept.size(), 10u);

    // The reader runs where numbers are written with a comma.
    setenv("LC_ALL", "ru_RU.UTF-8", 1);
    for (const char* form : {"xlsx", "pdf"}) {
        const ReaderRun run =
            RunReader({"--count", std::to_string(COUNT), "--device", sim.DevicePath(), "--format",
                       form, "--output", dir.File(std::string("results.") + form)},
                      dir.Path());
        ASSERT_EQ(run.status, 0) << form << ": " << run.err;
    }
    unsetenv("LC_ALL");

    for (const std::string locale : {"ru_RU.UTF-8", "en_US.UTF-8"}) {
        // One start of Calc per locale turns both sheets into CSV files.
        const std::string out = dir.File("csv-" + locale);
        const std::string command =
            "cd '" + dir.Path() + "' && env LC_ALL=" + locale + " LANG=" + locale + " HOME='" +
            dir.Path() + "' timeout 240 soffice -env:UserInstallation=file://" + dir.Path() +
            "/lo-" + locale +
            " --headless --norestore --convert-to 'csv:Text - txt - csv "
            "(StarCalc):44,34,76,1,,0,false,true,false,false,false,-1' --outdir '" +
            out + "' results.xlsx >'" + out + ".log' 2>&1";
        ASSERT_EQ(std::system(command.c_str()), 0) << ReadFile(out + ".log");

        const auto rows = ReadCsv(out + "/results-Записи.csv");
        ASSERT_EQ(rows.size(), kept.size() + 1) << locale << ReadFile(out + ".log");
        EXPECT_EQ(rows[0],
                  (std::vector<std::string>{"Дата и время", "Nя", "Проба", "Темп., °С", "U, В",
                                            "F, Гц", "Величина", "Ex, Co (пФ)", "tgDx, tgDo"}));
        for (std::size_t i = 0; i < kept.size(); ++i) {
            const ArchiveRecord& r = *kept[i];
            const std::vector<std::string>& row = rows[i + 1];
            const std::string where = locale + " row " + std::to_string(i + 2);
            ASSERT_EQ(row.size(), 9u) << where;
            EXPECT_EQ(row[0], ClockText(r, locale.starts_with("en"))) << where;
            ExpectValue(row[1], r.cellNumber(), where);
            ExpectValue(row[2], r.sampleNumber(), where);
            ExpectValue(row[3], r.temperature() >= -49 ? r.temperature() : NAN, where);
            ExpectValue(row[4], r.voltage(), where);
            ExpectValue(row[5], r.frequency(), where);
            EXPECT_EQ(row[6], r.kind() == RecordKindEmptyCell ? "Co,пФ" : "Ex") << where;
            ExpectValue(row[7], r.exOrCo(), where);
            ExpectValue(row[8], r.tgD(), where);
        }
        const auto cellRows = ReadCsv(out + "/results-Пустые ячейки.csv");
        ASSERT_EQ(cellRows.size(), 7u) << locale;
        EXPECT_EQ(cellRows[0], (std::vector<std::string>{"Nя", "Co,пФ", "tgDo"}));
        for (int i = 0; i < MeasuringCellCount; ++i) {
            ExpectValue(cellRows[i + 1][1], exports::EmptyCellPicofarads(cells, i), locale);
            ExpectValue(cellRows[i + 1][2], cells.tgDo(i), locale);
        }
    }

    // The workbook's XML: every number a number cell, none with a comma.
    const std::string sheet =
        CommandOutput("unzip -p '" + dir.File("results.xlsx") + "' xl/worksheets/sheet1.xml");
    ASSERT_FALSE(sheet.empty());
    for (const char* column : {"B", "C", "E", "F", "H", "I"})
        for (std::size_t row = 2; row < kept.size() + 2; ++row) {
            const std::string ref = "<c r=\"" + std::string(column) + std::to_string(row) + "\"";
            const std::size_t at = sheet.find(ref);
            if (at == std::string::npos)
                continue; // a value that is not finite has no cell of its own
            const std::string cell = sheet.substr(at, sheet.find("</c>", at) - at);
            EXPECT_EQ(cell.find(" t=\""), std::string::npos) << cell;
            EXPECT_EQ(cell.find(','), std::string::npos) << cell;
        }

    // The PDF: A4, fonts embedded, every record's Ex or Co and tgD and the labels.
    const std::string pdf = dir.File("results.pdf");
    EXPECT_NE(CommandOutput("pdfinfo '" + pdf + "'").find("(A4)"), std::string::npos);
    std::istringstream fonts(CommandOutput("pdffonts '" + pdf + "'"));
    std::string line;
    for (int n = 0; std::getline(fonts, line); ++n)
        if (n >= 2) {
            EXPECT_NE(line.find(" yes yes "), std::string::npos) << line;
        }
    const std::string text = CommandOutput("pdftotext -layout '" + pdf + "' -");
    for (const ArchiveRecord* r : kept) {
        const bool co = r->kind() == RecordKindEmptyCell;
        const double ex = r->exOrCo(), tg = r->tgD();
        if (std::isfinite(ex)) {
            EXPECT_NE(text.find((co ? "Co=" : "Ex=") + Comma(ex, co ? 4 : 5)), std::string::npos)
                << Comma(ex, 5);
        }
        if (std::isfinite(tg)) {
            EXPECT_NE(text.find((co ? "tgDo=" : "tgDx=") + Comma(tg, 5)), std::string::npos)
                << Comma(tg, 5);
        }
    }
    for (const char* label : {"Протокол испытаний изоляционного масла", "Проба масла",
                              "Дата и время", "Параметры пустых ячеек", "стр. 1 из"})
        EXPECT_NE(text.find(label), std::string::npos) << label;
}

} // namespace
