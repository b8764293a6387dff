// The archive record layout, the results text and the results file.
#include "archive/archive_record.h"
#include "archive/results_writer.h"
#include "platform/codepage.h"
#include "tests/support/sim_process.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <clocale>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <limits>
#include <optional>
#include <sys/stat.h>
#include <tuple>
#include <unistd.h>

namespace {

constexpr int TABLE = 1;
constexpr int REPORT = 0;

// The worked example: the defaults are its fields.
struct RecordFields {
    uint16_t sampleNumber = 17;
    uint8_t kind = RecordKindSample, cellNumber = 2;
    int8_t temperature = 20;
    uint8_t hour = 0x14, minute = 0x05, day = 0x06, month = 0x12, year = 0x09;
    float voltage = 2000.0f, frequency = 50.0f, exOrCo = 2.1f, tgD = 0.0012f;
};

void PutFloat(uint8_t* pBytes, float value) {
    const uint32_t nBits = std::bit_cast<uint32_t>(value);
    for (int i = 0; i < 4; ++i)
        pBytes[i] = static_cast<uint8_t>(nBits >> (8 * i));
}

// Built byte by byte, little-endian; never-read bytes hold filler.
ArchiveRecord MakeRecord(const RecordFields& f, uint8_t filler = 0) {
    ArchiveRecord r;
    std::memset(r.bytes, filler, sizeof r.bytes);
    const uint8_t head[] = {uint8_t(f.sampleNumber), uint8_t(f.sampleNumber >> 8), f.kind,
                            f.cellNumber, uint8_t(f.temperature)};
    std::memcpy(r.bytes + 2, head, sizeof head);
    const uint8_t clock[] = {f.minute, f.hour, filler, f.day, f.month, f.year};
    std::memcpy(r.bytes + 8, clock, sizeof clock);
    const float values[] = {f.voltage, f.frequency, f.exOrCo, f.tgD};
    for (int i = 0; i < 4; ++i)
        PutFloat(r.bytes + 16 + 4 * i, values[i]);
    return r;
}

// Cell 1 holds Co 1.5e-11 F and tgDo 0.0001, the other five zero.
EmptyCellTable MakeCells(uint8_t filler = 0) {
    EmptyCellTable cells;
    std::memset(cells.bytes, filler, sizeof cells.bytes);
    std::memset(cells.bytes + 4, 0, 48);
    PutFloat(cells.bytes + 4, 1.5e-11f);
    PutFloat(cells.bytes + 28, 0.0001f);
    return cells;
}

// Expected texts in UTF-8; '#' stands for the table's decimal separator.
const std::string STARS = std::string(53, '*') + "\n";
const std::string HEADER = "Время\tДата\tNя\tПроба\tТемп.,С\tU,В\tF,Гц\t\tEx,Co\ttgDx\n";
const std::string ROW = "14:05\t06.12.09\t2\t17\t20\t2000#0\t50#0\tEx\t2#1000\t0#00120\n";
const std::string REPORT_ROW =
    STARS + "Дата проведения измерений: 14:05 06/12/09\nИзмерительная ячейка N2\n"
            "Проба масла 17\nТемпература 20 грд.\nU=2000,0 В  F=50,0 Гц\n"
            "Ex=2,10000  tgDx=0,00120 \n";

const std::string CELLS_TABLE = "\nNя\tCo,пФ\ttgDo\n1\t15#0000\t0#00010\n2\t0#0000\t0#00000\n"
                                "3\t0#0000\t0#00000\n4\t0#0000\t0#00000\n5\t0#0000\t0#00000\n"
                                "6\t0#0000\t0#00000\n";
const std::string CELLS_REPORT =
    STARS +
    "Параметры пустых ячеек:\nячейка N1 Co=15,0000 tgDo=0,00010\n"
    "ячейка N2 Co=0,0000 tgDo=0,00000\nячейка N3 Co=0,0000 tgDo=0,00000\n"
    "ячейка N4 Co=0,0000 tgDo=0,00000\nячейка N5 Co=0,0000 tgDo=0,00000\n"
    "ячейка N6 Co=0,0000 tgDo=0,00000\n" +
    STARS;

// The file's bytes: Windows-1251 with the separator put in.
std::string Cp(std::string utf8, char separator) {
    std::replace(utf8.begin(), utf8.end(), '#', separator);
    return Utf8ToCp1251(utf8);
}

// The whole text for rows copies of the worked-example record and MakeCells().
std::string Expected(int bExcelTable, char separator, int nRows = 1) {
    std::string text = bExcelTable ? HEADER : "";
    for (int i = 0; i < nRows; ++i)
        text += bExcelTable ? ROW : REPORT_ROW;
    return Cp(text + (bExcelTable ? CELLS_TABLE : CELLS_REPORT), separator);
}

std::string Format(const std::vector<ArchiveRecord>& records, int nCount,
                   const EmptyCellTable& cells, int bExcelTable, char separator) {
    std::string text;
    FormatResults(records.data(), nCount, cells, bExcelTable, separator,
                  [&](std::string_view piece) { return text += piece, true; });
    return text;
}

TEST(ArchiveRecordTest, ReadsFieldsLittleEndianAtTheirOffsets) {
    const ArchiveRecord r = {{0xAA, 0xBB, 0x34, 0x12, 0x81, 0x06, 0xCE, 0x30, 0x05, 0x14, 0x77,
                              0x06, 0x12, 0x09, 0xCC, 0xDD, 0x00, 0x00, 0xFA, 0x44, 0x00, 0x00,
                              0x48, 0x42, 0x66, 0x66, 0x06, 0x40, 0x52, 0x49, 0x9D, 0x3A}};
    EXPECT_EQ((std::vector<int>{r.sampleNumber(), r.kind(), r.cellNumber(), r.temperature(),
                                r.minuteBcd(), r.hourBcd(), r.dayBcd(), r.monthBcd(), r.yearBcd()}),
              (std::vector<int>{0x1234, 0x81, 6, -50, 0x05, 0x14, 0x06, 0x12, 0x09}));
    EXPECT_EQ((std::vector<float>{r.voltage(), r.frequency(), r.exOrCo(), r.tgD()}),
              (std::vector<float>{2000.0f, 50.0f, 2.1f, 0.0012f}));
    EmptyCellTable cells = MakeCells(0xEE);
    PutFloat(cells.bytes + 48, 0.5f);
    EXPECT_EQ(cells.co(0), 1.5e-11f);
    EXPECT_EQ(cells.tgDo(5), 0.5f);
}

TEST(ResultsFormatTest, WorkedExampleInBothFormsAndSeparators) {
    for (char separator : {',', '.'}) {
        for (int bExcelTable : {TABLE, REPORT}) {
            SCOPED_TRACE(testing::Message() << separator << bExcelTable);
            // The report always writes commas; bytes that are never read change nothing.
            const std::string expected = Expected(bExcelTable, bExcelTable ? separator : ',');
            EXPECT_EQ(Format({MakeRecord({})}, 1, MakeCells(), bExcelTable, separator), expected);
            EXPECT_EQ(Format({MakeRecord({}, 0xFF)}, 1, MakeCells(0xFF), bExcelTable, separator),
                      expected);
        }
    }
}

TEST(ResultsFormatTest, UnreportableKindsAreSkippedAndTheCountIsClamped) {
    std::vector<ArchiveRecord> records = {MakeRecord({})};
    for (uint8_t kind : {0x00, 0x41, 0x80, 0xC1})
        records.push_back(MakeRecord({.kind = kind}));
    records.push_back(MakeRecord({}));
    const std::vector<ArchiveRecord> none(records.begin() + 1, records.end() - 1);
    for (int bExcelTable : {TABLE, REPORT}) {
        EXPECT_EQ(Format(records, 6, MakeCells(), bExcelTable, ','), Expected(bExcelTable, ',', 2));
        for (int nCount : {0, 4, -7}) // no reportable record: header and cells only
            EXPECT_EQ(Format(none, nCount, MakeCells(), bExcelTable, ','),
                      Expected(bExcelTable, ',', 0));
    }
    const std::vector<ArchiveRecord> full(ArchiveSlotCount, MakeRecord({}));
    for (int nCount : {2001, 1 << 30})
        EXPECT_EQ(Format(full, nCount, MakeCells(), TABLE, '.'), Expected(TABLE, '.', 2000));
}

const float NAN_POS = std::bit_cast<float>(0x7FC00000u);
const float NAN_NEG = std::bit_cast<float>(0xFFC00000u);
const float INF = std::numeric_limits<float>::infinity();
const float BIG = std::numeric_limits<float>::max();
#define BIG_TEXT "340282346638528859811704183484516925440"

#define HEAD "14:05\t06.12.09\t2\t17\t"
#define TAIL "\t2000#0\t50#0\tEx\t2#1000\t0#00120"
// clang-format off
// One record: its whole table row ('#' the separator) and one line of its report.
const std::tuple<RecordFields, const char*, const char*> ROW_CASES[] = {
    {{.temperature = -49}, HEAD "-49" TAIL, "Температура -49 грд."},
    {{.temperature = -50}, HEAD TAIL, "Датчик температуры не подключен"},
    {{.temperature = -128}, HEAD TAIL, "Датчик температуры не подключен"},
    {{.temperature = 127}, HEAD "127" TAIL, "Температура 127 грд."},
    {{.hour = 0x09}, "09:05\t06.12.09\t2\t17\t20" TAIL, "Дата проведения измерений:  9:05 06/12/09"},
    {{.hour = 0x1A, .day = 0x1A, .year = 0xA0}, "1a:05\t1a.12.a0\t2\t17\t20" TAIL,
     "Дата проведения измерений: 1a:05 1a/12/a0"},
    {{.sampleNumber = 65535, .cellNumber = 255}, "14:05\t06.12.09\t255\t65535\t20" TAIL,
     "Проба масла 65535"},
    {{.kind = RecordKindEmptyCell, .exOrCo = 12.5f}, HEAD "20\t2000#0\t50#0\tCo,пФ\t12#5000\t0#00120",
     "Co=12,5000пФ tgDo=0,00120 "},
    {{.voltage = NAN_POS, .exOrCo = BIG, .tgD = NAN_NEG}, HEAD "20\tnan\t50#0\tEx\t" BIG_TEXT "#0000\t-nan",
     "Ex=" BIG_TEXT ",00000  tgDx=-nan "},
    {{.kind = RecordKindEmptyCell, .voltage = -BIG, .frequency = INF, .exOrCo = -INF, .tgD = BIG},
     HEAD "20\t-" BIG_TEXT "#0\tinf\tCo,пФ\t-inf\t" BIG_TEXT "#00000", "Co=-infпФ tgDo=" BIG_TEXT ",00000 "},
};
// clang-format on

TEST(ResultsFormatTest, RecordFieldsAreWrittenWhole) {
    for (const auto& [fields, row, reportLine] : ROW_CASES) {
        SCOPED_TRACE(row);
        const ArchiveRecord record = MakeRecord(fields);
        for (char separator : {',', '.'})
            EXPECT_EQ(Format({record}, 1, MakeCells(), TABLE, separator),
                      Cp(HEADER + row + "\n" + CELLS_TABLE, separator));
        const std::string report = Format({record}, 1, MakeCells(), REPORT, '.');
        EXPECT_NE(report.find(Utf8ToCp1251("\n" + std::string(reportLine) + "\n")),
                  std::string::npos)
            << report;
    }
}

// Sets (or with nullptr unsets) an environment variable until the end of the scope.
struct ScopedEnv {
    ScopedEnv(const char* szName, const char* szValue) : m_szName(szName) {
        if (const char* szOld = std::getenv(szName))
            m_old = szOld;
        szValue ? setenv(szName, szValue, 1) : unsetenv(szName);
    }
    ~ScopedEnv() { m_old ? setenv(m_szName, m_old->c_str(), 1) : unsetenv(m_szName); }
    const char* m_szName;
    std::optional<std::string> m_old;
};

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

// Slot 0 holds the worked example, slot 1 a record that is not reported.
class WriteResultsTest : public testing::Test {
protected:
    void SetUp() override {
        g_records[0] = MakeRecord({});
        g_records[1] = MakeRecord({.kind = 0x00});
        g_emptyCells = MakeCells();
    }
    TempDir m_dir;
    std::string m_path = m_dir.File("results06_12_26.xls");
};

// Qt sets the process locale from the environment, where printf would write
// "2000,0"; the file must not change with it.
TEST_F(WriteResultsTest, ReplacesALongerFileWholeWhateverTheProcessLocale) {
    ScopedEnv env("LC_ALL", "ru_RU.UTF-8");
    const std::string previous = std::setlocale(LC_ALL, nullptr);
    ASSERT_NE(std::setlocale(LC_ALL, ""), nullptr) << "ru_RU.UTF-8 is installed by the setup";
    std::ofstream(m_path) << std::string(10000, 'x');
    for (char separator : {',', '.'}) {
        const WriteOutcome outcome = WriteResultsToFile(m_path, 2, TABLE, separator);
        EXPECT_TRUE(outcome.ok && outcome.reason.empty()) << outcome.reason;
        EXPECT_EQ(ReadFile(m_path), Expected(TABLE, separator));
    }
    EXPECT_TRUE(WriteResultsToFile(m_path, 2, REPORT, '.').ok);
    EXPECT_EQ(ReadFile(m_path), Expected(REPORT, ','));
    char probe[16];
    std::snprintf(probe, sizeof probe, "%.1f", 2.5);
    EXPECT_STREQ(probe, "2,5") << "the process locale must be in force, and kept after writing";
    std::setlocale(LC_ALL, previous.c_str());
}

TEST_F(WriteResultsTest, FailuresGiveTheReasonAndKeepTheOldFileWhole) {
    const WriteOutcome missing = WriteResultsToFile(m_dir.File("absent/r.xls"), 2, TABLE, ',');
    EXPECT_FALSE(missing.ok);
    EXPECT_EQ(missing.reason, std::strerror(ENOENT));

    if (access("/dev/full", W_OK) == 0) {
        const WriteOutcome full = WriteResultsToFile("/dev/full", 2, TABLE, ',');
        EXPECT_FALSE(full.ok);
        EXPECT_EQ(full.reason, std::strerror(ENOSPC));
    }

    // A file-size limit stops the writing partway, as a full disk would: the
    // old file stays whole and nothing else is left in the folder.
    const std::string old(1000, 'o');
    std::ofstream(m_path) << old;
    WriteOutcome cut;
    {
        FileSizeLimit limit(100);
        ASSERT_TRUE(limit.Active());
        cut = WriteResultsToFile(m_path, 2, TABLE, ',');
    }
    EXPECT_FALSE(cut.ok);
    EXPECT_EQ(cut.reason, std::strerror(EFBIG));
    EXPECT_EQ(ReadFile(m_path), old);

    // Kept when asked to: the name is taken.
    const WriteOutcome kept =
        WriteResultsToFile(m_path, 2, TABLE, ',', ReplacePolicy::KeepExisting);
    EXPECT_EQ(kept.error, EEXIST);
    EXPECT_EQ(ReadFile(m_path), old);
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(m_dir.Path()), {}), 1);
}

TEST_F(WriteResultsTest, ReadOnlyFileFailsAndKeepsItsContent) {
    if (geteuid() == 0)
        GTEST_SKIP() << "running as root: permission bits do not stop writes";
    std::ofstream(m_path) << "old";
    ASSERT_EQ(chmod(m_path.c_str(), 0444), 0);
    const WriteOutcome outcome = WriteResultsToFile(m_path, 2, REPORT, ',');
    EXPECT_FALSE(outcome.ok);
    EXPECT_EQ(outcome.reason, std::strerror(EACCES));
    EXPECT_EQ(ReadFile(m_path), "old");
}

TEST(ProposedNameTest, DayMonthAndYearWithLeadingZeros) {
    ScopedEnv tz("TZ", "UTC");
    tzset();
    const std::time_t lastMinute = 1796601540, newYear = 1798761600; // 2026-12-06 23:59, 2027-01-01
    EXPECT_EQ(ProposedResultsName(TABLE, lastMinute), "results06_12_26.xls");
    EXPECT_EQ(ProposedResultsName(REPORT, lastMinute), "results06_12_26.doc");
    EXPECT_EQ(ProposedResultsName(TABLE, newYear), "results01_01_27.xls");
    // Beyond the years struct tm can hold.
    EXPECT_EQ(ProposedResultsName(TABLE, std::numeric_limits<std::time_t>::max()), "");
}

TEST(DecimalSeparatorTest, FollowsTheNumericLocaleOfTheEnvironment) {
    ScopedEnv numeric("LC_NUMERIC", nullptr), lang("LANG", nullptr);
    const std::pair<const char*, char> cases[] = {
        {"ru_RU.UTF-8", ','}, {"de_DE.UTF-8", ','}, {"uk_UA.UTF-8", ','},      {"en_US.UTF-8", '.'},
        {"C", '.'},           {"POSIX", '.'},       {"xx_NOWHERE.UTF-8", '.'}, {nullptr, '.'}};
    for (const auto& [szName, expected] : cases) {
        ScopedEnv all("LC_ALL", szName);
        EXPECT_EQ(decimalSeparator(), expected) << (szName ? szName : "unset");
    }
    ScopedEnv all("LC_ALL", ""), lang2("LANG", "uk_UA.UTF-8"); // empty LC_ALL is passed over
    EXPECT_EQ(decimalSeparator(), ',');
}

} // namespace
