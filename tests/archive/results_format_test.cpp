#include "archive/results_format.h"
#include "archive/results_writer.h"
#include "results_fixtures.h"

#include <gtest/gtest.h>

#include <bit>
#include <limits>

namespace {

constexpr int TABLE = 1;
constexpr int REPORT = 0;
// Pieces of one record: 7 in the table form (after the header), 8 in the report.
constexpr std::size_t TABLE_RECORD_PIECES = 7;
constexpr std::size_t REPORT_RECORD_PIECES = 8;

const float NAN_POS = std::bit_cast<float>(0x7FC00000u);
const float NAN_NEG = std::bit_cast<float>(0xFFC00000u);
const float INF = std::numeric_limits<float>::infinity();
const float FLT_LARGEST = std::numeric_limits<float>::max();

// The pieces of the one record in slot 0, without header or cell section.
std::vector<std::string> RecordPieces(const RecordFields& fields, int bExcelTable,
                                      char separator = ',') {
    std::vector<std::string> pieces =
        Pieces({MakeRecord(fields)}, 1, MakeCells(), bExcelTable, separator);
    const std::size_t nFirst = bExcelTable ? 1 : 0;
    const std::size_t nCount = bExcelTable ? TABLE_RECORD_PIECES : REPORT_RECORD_PIECES;
    return {pieces.begin() + nFirst, pieces.begin() + nFirst + nCount};
}

TEST(ResultsFormatTest, WorkedExampleTableWithEitherSeparator) {
    for (char separator : {',', '.'}) {
        EXPECT_EQ(Joined(Pieces({MakeRecord({})}, 1, MakeCells(), TABLE, separator)),
                  ExpectedTable(separator))
            << "separator " << separator;
    }
}

TEST(ResultsFormatTest, WorkedExampleReportAlwaysWritesCommas) {
    for (char separator : {',', '.'}) {
        EXPECT_EQ(Joined(Pieces({MakeRecord({})}, 1, MakeCells(), REPORT, separator)),
                  ExpectedReport());
    }
}

TEST(ResultsFormatTest, NeverReadBytesChangeNothing) {
    for (int bExcelTable : {TABLE, REPORT}) {
        EXPECT_EQ(Joined(Pieces({MakeRecord({}, 0xFF)}, 1, MakeCells(0xFF), bExcelTable, ',')),
                  Joined(Pieces({MakeRecord({}, 0x00)}, 1, MakeCells(0x00), bExcelTable, ',')));
    }
}

TEST(ResultsFormatTest, WithoutReportableRecordsOnlyHeaderAndCellsRemain) {
    const std::string header = Cp("Время\tДата\tNя\tПроба\tТемп.,С\tU,В\tF,Гц\t\tEx,Co\ttgDx\n");
    const std::string cellsTable = Cp("\nNя\tCo,пФ\ttgDo\n"
                                      "1\t15,0000\t0,00010\n"
                                      "2\t0,0000\t0,00000\n"
                                      "3\t0,0000\t0,00000\n"
                                      "4\t0,0000\t0,00000\n"
                                      "5\t0,0000\t0,00000\n"
                                      "6\t0,0000\t0,00000\n");
    const std::string cellsReport = Cp("*****************************************************\n"
                                       "Параметры пустых ячеек:\n"
                                       "ячейка N1 Co=15,0000 tgDo=0,00010\n"
                                       "ячейка N2 Co=0,0000 tgDo=0,00000\n"
                                       "ячейка N3 Co=0,0000 tgDo=0,00000\n"
                                       "ячейка N4 Co=0,0000 tgDo=0,00000\n"
                                       "ячейка N5 Co=0,0000 tgDo=0,00000\n"
                                       "ячейка N6 Co=0,0000 tgDo=0,00000\n"
                                       "*****************************************************\n");
    const std::vector<ArchiveRecord> unreportable = {MakeRecord({.kind = 0x00}),
                                                     MakeRecord({.kind = 0x80})};
    for (int nCount : {0, 2, -7}) {
        EXPECT_EQ(Joined(Pieces(unreportable, nCount, MakeCells(), TABLE, ',')),
                  header + cellsTable)
            << nCount;
        EXPECT_EQ(Joined(Pieces(unreportable, nCount, MakeCells(), REPORT, ',')), cellsReport)
            << nCount;
    }
}

TEST(ResultsFormatTest, UnreportableKindsAreSkippedWithoutEmptyLines) {
    const std::vector<ArchiveRecord> records = {
        MakeRecord({.sampleNumber = 1}),
        MakeRecord({.kind = 0x00}),
        MakeRecord({.kind = 0x41}),
        MakeRecord({.kind = 0x80}),
        MakeRecord({.kind = 0xC1}),
        MakeRecord({.sampleNumber = 2, .kind = RecordKindEmptyCell}),
    };
    const std::string table = Joined(Pieces(records, 6, MakeCells(), TABLE, ','));
    EXPECT_NE(table.find(Cp("tgDx\n"
                            "14:05\t06.12.09\t2\t1\t20\t2000,0\t50,0\tEx\t2,1000\t0,00120\n"
                            "14:05\t06.12.09\t2\t2\t20\t2000,0\t50,0\tCo,пФ\t2,1000\t0,00120\n"
                            "\nNя")),
              std::string::npos)
        << table;
    const std::string report = Joined(Pieces(records, 6, MakeCells(), REPORT, ','));
    EXPECT_EQ(std::count(report.begin(), report.end(), '\n'), 2 * 7 + 2 + 6 + 1);
}

struct TemperatureCase {
    int8_t temperature;
    const char* table;
    const char* report;
};

void PrintTo(const TemperatureCase& c, std::ostream* os) {
    *os << int(c.temperature);
}

class TemperatureTest : public testing::TestWithParam<TemperatureCase> {};

TEST_P(TemperatureTest, SensorMissingAtMinus50AndBelow) {
    const TemperatureCase& c = GetParam();
    EXPECT_EQ(RecordPieces({.temperature = c.temperature}, TABLE)[3], c.table);
    EXPECT_EQ(RecordPieces({.temperature = c.temperature}, REPORT)[4], Cp(c.report));
}

INSTANTIATE_TEST_SUITE_P(
    Boundaries, TemperatureTest,
    testing::Values(TemperatureCase{-49, "-49\t", "Температура -49 грд.\n"},
                    TemperatureCase{-50, "\t", "Датчик температуры не подключен\n"},
                    TemperatureCase{-128, "\t", "Датчик температуры не подключен\n"},
                    TemperatureCase{127, "127\t", "Температура 127 грд.\n"}));

struct ClockCase {
    RecordFields fields;
    const char* table;
    const char* report;
};

void PrintTo(const ClockCase& c, std::ostream* os) {
    *os << std::string(c.table, 5);
}

class ClockTest : public testing::TestWithParam<ClockCase> {};

TEST_P(ClockTest, ClockBytesPrintAsHexDigits) {
    const ClockCase& c = GetParam();
    EXPECT_EQ(RecordPieces(c.fields, TABLE)[0], c.table);
    EXPECT_EQ(RecordPieces(c.fields, REPORT)[1], Cp(c.report));
}

INSTANTIATE_TEST_SUITE_P(
    Bytes, ClockTest,
    testing::Values(
        ClockCase{
            {.hour = 0x09}, "09:05\t06.12.09\t", "Дата проведения измерений:  9:05 06/12/09\n"},
        ClockCase{{.hour = 0x00, .minute = 0x00, .day = 0x01, .month = 0x01, .year = 0x00},
                  "00:00\t01.01.00\t",
                  "Дата проведения измерений:  0:00 01/01/00\n"},
        ClockCase{{.hour = 0x1A, .day = 0x1A},
                  "1a:05\t1a.12.09\t",
                  "Дата проведения измерений: 1a:05 1a/12/09\n"},
        ClockCase{{.minute = 0xFF, .year = 0xA0},
                  "14:ff\t06.12.a0\t",
                  "Дата проведения измерений: 14:ff 06/12/a0\n"}));

TEST(ResultsFormatTest, IntegerFieldsAreUnsigned) {
    const RecordFields fields{.sampleNumber = 65535, .cellNumber = 255};
    const std::vector<std::string> table = RecordPieces(fields, TABLE);
    EXPECT_EQ(table[1], "255\t");
    EXPECT_EQ(table[2], "65535\t");
    const std::vector<std::string> report = RecordPieces(fields, REPORT);
    EXPECT_EQ(report[2], Cp("Измерительная ячейка N255\n"));
    EXPECT_EQ(report[3], Cp("Проба масла 65535\n"));
}

TEST(ResultsFormatTest, CoOfAnEmptyCellRecordIsPrintedUnscaled) {
    const RecordFields fields{.kind = RecordKindEmptyCell, .exOrCo = 12.5f, .tgD = 0.0012f};
    const std::vector<std::string> table = RecordPieces(fields, TABLE, '.');
    EXPECT_EQ(table[5], Cp("Co,пФ\t12.5000\t"));
    EXPECT_EQ(table[6], "0.00120\n");
    const std::vector<std::string> report = RecordPieces(fields, REPORT, '.');
    EXPECT_EQ(report[6], Cp("Co=12,5000пФ "));
    EXPECT_EQ(report[7], "tgDo=0,00120 \n");
}

TEST(ResultsFormatTest, CoOfTheCellBlockIsScaledToPicofarads) {
    EmptyCellTable cells = MakeCells();
    PutCell(cells, 5, 2.5e-10f, 0.5f);
    const std::vector<std::string> table = Pieces({}, 0, cells, TABLE, ',');
    ASSERT_EQ(table.size(), 2u + 3 * MeasuringCellCount);
    EXPECT_EQ(table[2] + table[3] + table[4], "1\t15,0000\t0,00010\n");
    EXPECT_EQ(table[17] + table[18] + table[19], "6\t250,0000\t0,50000\n");
    const std::vector<std::string> report = Pieces({}, 0, cells, REPORT, '.');
    EXPECT_EQ(report[2] + report[3] + report[4], Cp("ячейка N1 Co=15,0000 tgDo=0,00010\n"));
    EXPECT_EQ(report[17] + report[18] + report[19], Cp("ячейка N6 Co=250,0000 tgDo=0,50000\n"));
}

// Values of any size and the non-finite ones are written whole, as printf
// writes them; only a '.' that exists is replaced.
TEST(ResultsFormatTest, HugeAndNonFiniteValuesAreWrittenWhole) {
    const RecordFields sample{
        .voltage = NAN_POS, .frequency = 50.0f, .exOrCo = FLT_LARGEST, .tgD = NAN_NEG};
    const std::vector<std::string> table = RecordPieces(sample, TABLE);
    EXPECT_EQ(table[4], "nan\t50,0\t");
    EXPECT_EQ(table[5], "Ex\t340282346638528859811704183484516925440,0000\t");
    EXPECT_EQ(table[6], "-nan\n");
    const std::vector<std::string> report = RecordPieces(sample, REPORT);
    EXPECT_EQ(report[5], Cp("U=nan В  F=50,0 Гц\n"));
    EXPECT_EQ(report[6], "Ex=340282346638528859811704183484516925440,00000  ");
    EXPECT_EQ(report[7], "tgDx=-nan \n");

    const RecordFields cell{.kind = RecordKindEmptyCell,
                            .voltage = -FLT_LARGEST,
                            .frequency = INF,
                            .exOrCo = -INF,
                            .tgD = FLT_LARGEST};
    const std::vector<std::string> cellTable = RecordPieces(cell, TABLE);
    EXPECT_EQ(cellTable[4], "-340282346638528859811704183484516925440,0\tinf\t");
    EXPECT_EQ(cellTable[5], Cp("Co,пФ\t-inf\t"));
    EXPECT_EQ(cellTable[6], "340282346638528859811704183484516925440,00000\n");
    const std::vector<std::string> cellReport = RecordPieces(cell, REPORT);
    EXPECT_EQ(cellReport[6], Cp("Co=-infпФ "));
    EXPECT_EQ(cellReport[7], "tgDo=340282346638528859811704183484516925440,00000 \n");

    EmptyCellTable cells = MakeCells();
    PutCell(cells, 0, FLT_LARGEST, INF);
    const std::vector<std::string> cellsTable = Pieces({}, 0, cells, TABLE, ',');
    EXPECT_EQ(cellsTable[3], "340282346638528859811704183484516925440000000000000,0000\t");
    EXPECT_EQ(cellsTable[4], "inf\n");
}

TEST(ResultsFormatTest, FormatFixed5CommaKeepsTheTrailingBlank) {
    EXPECT_EQ(FormatFixed5Comma(0.0012f), "0,00120 ");
    EXPECT_EQ(FormatFixed5Comma(-3.0), "-3,00000 ");
    EXPECT_EQ(FormatFixed5Comma(1e30), "1000000000000000019884624838656,00000 ");
    EXPECT_EQ(FormatFixed5Comma(-INF), "-inf ");
}

// A count beyond the store is clamped: exactly the 2000 slots are written.
TEST(ResultsFormatTest, CountAboveTheStoreIsClamped) {
    const std::vector<ArchiveRecord> full(ArchiveSlotCount, MakeRecord({}));
    for (int nCount : {2001, 1 << 30}) {
        const std::vector<std::string> pieces = Pieces(full, nCount, MakeCells(), TABLE, ',');
        EXPECT_EQ(pieces.size(), 1 + ArchiveSlotCount * TABLE_RECORD_PIECES + 1 + 3 * 6);
    }
}

TEST(ResultsFormatTest, StopsAtTheFirstRefusedPiece) {
    const std::vector<ArchiveRecord> records(3, MakeRecord({}));
    for (int bExcelTable : {TABLE, REPORT}) {
        int nOffered = 0;
        FormatResults(records.data(), 3, MakeCells(), bExcelTable, ',',
                      [&](std::string_view) { return ++nOffered < 5; });
        EXPECT_EQ(nOffered, 5);
    }
}

} // namespace
