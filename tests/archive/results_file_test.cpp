#include "archive/results_writer.h"
#include "results_fixtures.h"
#include "tests/support/sim_process.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fstream>
#include <limits>
#include <locale.h>
#include <map>
#include <optional>
#include <sstream>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr int TABLE = 1;
constexpr int REPORT = 0;

// Sets or clears environment variables for one test and puts them back after.
class ScopedEnv {
public:
    void Set(const char* szName, const char* szValue) {
        m_saved.emplace(szName, Current(szName)); // keeps the value from before the test
        if (szValue != nullptr) {
            setenv(szName, szValue, 1);
        } else {
            unsetenv(szName);
        }
    }
    ~ScopedEnv() {
        for (const auto& [name, value] : m_saved) {
            if (value) {
                setenv(name.c_str(), value->c_str(), 1);
            } else {
                unsetenv(name.c_str());
            }
        }
    }

private:
    static std::optional<std::string> Current(const char* szName) {
        const char* szValue = std::getenv(szName);
        return szValue ? std::optional<std::string>(szValue) : std::nullopt;
    }
    std::map<std::string, std::optional<std::string>> m_saved;
};

bool LocaleInstalled(const char* szName) {
    locale_t hLocale = newlocale(LC_ALL_MASK, szName, locale_t(0));
    if (hLocale == locale_t(0)) {
        return false;
    }
    freelocale(hLocale);
    return true;
}

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

// Puts the worked-example record into slot 0 of the store, the cells beside it.
void FillStore() {
    g_records[0] = MakeRecord({});
    g_records[1] = MakeRecord({.kind = 0x00});
    g_emptyCells = MakeCells();
}

TEST(WriteResultsTest, WritesTheFileAndReplacesALongerOneWhole) {
    FillStore();
    TempDir dir;
    const std::string path = dir.File("results07_12_26.xls");
    {
        std::ofstream old(path, std::ios::binary);
        old << std::string(10000, 'x');
    }
    const WriteOutcome table = WriteResultsToFile(path, 2, TABLE, '.');
    EXPECT_TRUE(table.ok);
    EXPECT_EQ(table.reason, "");
    EXPECT_EQ(ReadFile(path), ExpectedTable('.'));

    const WriteOutcome report = WriteResultsToFile(path, 2, REPORT, '.');
    EXPECT_TRUE(report.ok);
    EXPECT_EQ(ReadFile(path), ExpectedReport());
}

TEST(WriteResultsTest, MissingFolderFailsWithTheSystemReason) {
    TempDir dir;
    const std::string path = dir.File("absent/results.xls");
    const WriteOutcome outcome = WriteResultsToFile(path, 1, TABLE, ',');
    EXPECT_FALSE(outcome.ok);
    EXPECT_EQ(outcome.reason, std::strerror(ENOENT));
    EXPECT_NE(access(dir.File("absent").c_str(), F_OK), 0);
}

TEST(WriteResultsTest, DirectoryAsTheFileFails) {
    TempDir dir;
    const WriteOutcome outcome = WriteResultsToFile(dir.Path(), 1, REPORT, ',');
    EXPECT_FALSE(outcome.ok);
    EXPECT_EQ(outcome.reason, std::strerror(EISDIR));
}

TEST(WriteResultsTest, ReadOnlyFileFailsAndKeepsItsContent) {
    if (geteuid() == 0) {
        GTEST_SKIP() << "running as root: permission bits do not stop writes";
    }
    TempDir dir;
    const std::string path = dir.File("locked.doc");
    {
        std::ofstream old(path, std::ios::binary);
        old << "old";
    }
    ASSERT_EQ(chmod(path.c_str(), 0444), 0);
    const WriteOutcome outcome = WriteResultsToFile(path, 1, REPORT, ',');
    EXPECT_FALSE(outcome.ok);
    EXPECT_EQ(outcome.reason, std::strerror(EACCES));
    EXPECT_EQ(ReadFile(path), "old");
}

TEST(WriteResultsTest, FullDeviceFailsInsteadOfReportingSuccess) {
    if (access("/dev/full", W_OK) != 0) {
        GTEST_SKIP() << "/dev/full is not available";
    }
    FillStore();
    const WriteOutcome outcome = WriteResultsToFile("/dev/full", 2, TABLE, ',');
    EXPECT_FALSE(outcome.ok);
    EXPECT_EQ(outcome.reason, std::strerror(ENOSPC));
}

// Qt sets the process locale from the environment; under ru_RU glibc's printf
// writes "2000,0". The results must not change with it.
TEST(WriteResultsTest, ProcessLocaleDoesNotChangeTheNumbers) {
    if (!LocaleInstalled("ru_RU.UTF-8")) {
        GTEST_SKIP() << "locale ru_RU.UTF-8 is not installed";
    }
    ScopedEnv env;
    env.Set("LC_ALL", "ru_RU.UTF-8");
    const std::string previous = std::setlocale(LC_ALL, nullptr);
    ASSERT_NE(std::setlocale(LC_ALL, ""), nullptr);
    char probe[16];
    std::snprintf(probe, sizeof probe, "%.1f", 2.5);
    EXPECT_STREQ(probe, "2,5") << "the locale should be in force for this test";

    FillStore();
    TempDir dir;
    for (char separator : {',', '.'}) {
        const std::string path = dir.File("results.xls");
        EXPECT_TRUE(WriteResultsToFile(path, 2, TABLE, separator).ok);
        EXPECT_EQ(ReadFile(path), ExpectedTable(separator));
    }
    EXPECT_EQ(Joined(Pieces({MakeRecord({})}, 1, MakeCells(), REPORT, '.')), ExpectedReport());

    std::snprintf(probe, sizeof probe, "%.1f", 2.5);
    EXPECT_STREQ(probe, "2,5") << "the thread's locale must be restored after formatting";
    std::setlocale(LC_ALL, previous.c_str());
}

struct NameCase {
    int nYear, nMonth, nDay;
    const char* table;
    const char* report;
};

void PrintTo(const NameCase& c, std::ostream* os) {
    *os << c.table;
}

class ProposedNameTest : public testing::TestWithParam<NameCase> {};

TEST_P(ProposedNameTest, DayMonthAndYearWithLeadingZeros) {
    ScopedEnv env;
    env.Set("TZ", "UTC");
    tzset();
    const NameCase& c = GetParam();
    std::tm date{};
    date.tm_year = c.nYear - 1900;
    date.tm_mon = c.nMonth - 1;
    date.tm_mday = c.nDay;
    date.tm_hour = 23;
    date.tm_min = 59;
    const std::time_t t = timegm(&date);
    EXPECT_EQ(ProposedResultsName(TABLE, t), c.table);
    EXPECT_EQ(ProposedResultsName(REPORT, t), c.report);
}

INSTANTIATE_TEST_SUITE_P(
    Dates, ProposedNameTest,
    testing::Values(NameCase{2026, 12, 6, "results06_12_26.xls", "results06_12_26.doc"},
                    NameCase{2027, 1, 1, "results01_01_27.xls", "results01_01_27.doc"}));

TEST(ProposedNameTest, EmptyWhenTheTimeCannotBeConverted) {
    // Beyond the range of a year in struct tm.
    EXPECT_EQ(ProposedResultsName(TABLE, std::numeric_limits<std::time_t>::max()), "");
}

struct SeparatorCase {
    const char* szAll;
    const char* szNumeric;
    const char* szLang;
    char expected;
};

void PrintTo(const SeparatorCase& c, std::ostream* os) {
    for (const char* szName : {c.szAll, c.szNumeric, c.szLang}) {
        *os << (szName == nullptr ? "unset" : szName[0] == '\0' ? "empty" : szName) << ' ';
    }
}

class DecimalSeparatorTest : public testing::TestWithParam<SeparatorCase> {};

TEST_P(DecimalSeparatorTest, FollowsTheNumericLocaleOfTheEnvironment) {
    const SeparatorCase& c = GetParam();
    for (const char* szName : {c.szAll, c.szNumeric, c.szLang}) {
        if (szName != nullptr && szName[0] != '\0' && c.expected == ',' &&
            !LocaleInstalled(szName)) {
            GTEST_SKIP() << "locale " << szName << " is not installed";
        }
    }
    ScopedEnv env;
    env.Set("LC_ALL", c.szAll);
    env.Set("LC_NUMERIC", c.szNumeric);
    env.Set("LANG", c.szLang);
    EXPECT_EQ(decimalSeparator(), c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Locales, DecimalSeparatorTest,
    testing::Values(SeparatorCase{"ru_RU.UTF-8", nullptr, nullptr, ','},
                    SeparatorCase{"de_DE.UTF-8", nullptr, nullptr, ','},
                    SeparatorCase{nullptr, nullptr, "uk_UA.UTF-8", ','},
                    SeparatorCase{"en_US.UTF-8", nullptr, nullptr, '.'},
                    SeparatorCase{"C", nullptr, nullptr, '.'},
                    SeparatorCase{"POSIX", nullptr, nullptr, '.'},
                    SeparatorCase{"xx_NOWHERE.UTF-8", nullptr, nullptr, '.'},
                    SeparatorCase{nullptr, nullptr, nullptr, '.'},
                    // LC_ALL wins, then LC_NUMERIC, then LANG; empty ones are passed over
                    SeparatorCase{"en_US.UTF-8", "ru_RU.UTF-8", "ru_RU.UTF-8", '.'},
                    SeparatorCase{"", "de_DE.UTF-8", "en_US.UTF-8", ','},
                    SeparatorCase{nullptr, "C", "ru_RU.UTF-8", '.'}));

} // namespace
