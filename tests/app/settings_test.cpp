#include "app/settings.h"
#include "app/settings_internal.h"
#include "tests/support/sim_process.h"

#include <climits>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <unistd.h>

namespace {

using namespace std::string_literals;

// Each test starts in a fresh current directory with the path not yet computed.
class SettingsTest : public testing::Test {
protected:
    void SetUp() override {
        m_oldCwd = std::filesystem::current_path();
        ASSERT_EQ(chdir(m_dir.Path().c_str()), 0);
        ResetSettingsPath();
    }
    void TearDown() override {
        std::filesystem::current_path(m_oldCwd);
        ResetSettingsPath();
    }
    std::string Ini() const { return m_dir.File("Vextar.ini"); }
    std::string ReadIni() const {
        std::ifstream in(Ini(), std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    }
    void WriteIni(const std::string& text) const { std::ofstream(Ini(), std::ios::binary) << text; }

    TempDir m_dir;
    std::filesystem::path m_oldCwd;
};

TEST_F(SettingsTest, FirstRunInEmptyDirectory) {
    EXPECT_EQ(std::string(GetSettingsPath()), Ini());
    EXPECT_EQ(LoadPortSetting(), 2);
    EXPECT_EQ(SavePortSetting(2), 1);
    EXPECT_EQ(ReadIni(), "[Velmare - 7K]\nCOM Port 1_4= 2 \n");
    EXPECT_EQ(SavePortSetting(-7), 1);
    EXPECT_EQ(LoadPortSetting(), -7);
}

TEST_F(SettingsTest, PathIsKeptWhenCurrentDirectoryChanges) {
    WriteIni("[Velmare - 7K]\nCOM Port 1_4=4\n");
    EXPECT_EQ(LoadPortSetting(), 4);
    TempDir elsewhere;
    ASSERT_EQ(chdir(elsewhere.Path().c_str()), 0);
    EXPECT_EQ(SavePortSetting(3), 1);
    EXPECT_EQ(ReadIni(), "[Velmare - 7K]\nCOM Port 1_4= 3 \n");
    EXPECT_FALSE(std::filesystem::exists(elsewhere.File("Vextar.ini")));
}

TEST_F(SettingsTest, WindowsFileKeepsItsLinesAndLineEnds) {
    const std::string before = "; written on Windows\r\n[Other]\r\nx=1\r\n\r\n"
                               "[VELMARE - 7K]\r\ncom port 1_4=1\r\nmore=2\r\n";
    WriteIni(before);
    EXPECT_EQ(LoadPortSetting(), 1);
    EXPECT_EQ(SavePortSetting(12), 1);
    std::string expected = before;
    expected.replace(expected.find("com port 1_4=1"), 14, "com port 1_4= 12 ");
    EXPECT_EQ(ReadIni(), expected);
}

TEST_F(SettingsTest, SaveFailsWhenTheFileIsADirectory) {
    ASSERT_TRUE(std::filesystem::create_directory(Ini()));
    EXPECT_EQ(LoadPortSetting(), 2);
    EXPECT_EQ(SavePortSetting(3), 0);
    EXPECT_TRUE(std::filesystem::is_directory(Ini()));
}

struct ValueCase {
    const char* name;
    std::string fileText;
    int nExpected;
};

void PrintTo(const ValueCase& c, std::ostream* os) {
    *os << c.name;
}

class SettingsValueTest : public SettingsTest, public testing::WithParamInterface<ValueCase> {};

TEST_P(SettingsValueTest, ConvertsLikeAtoi) {
    WriteIni(GetParam().fileText);
    EXPECT_EQ(LoadPortSetting(), GetParam().nExpected);
}

std::string Entry(const std::string& value) {
    return "[Velmare - 7K]\nCOM Port 1_4=" + value + "\n";
}

INSTANTIATE_TEST_SUITE_P(
    Cases, SettingsValueTest,
    testing::Values(ValueCase{"Blanks", Entry(" 3 "), 3}, ValueCase{"Trailing", Entry("3abc"), 3},
                    ValueCase{"Negative", Entry("-1"), -1}, ValueCase{"Letters", Entry("abc"), 0},
                    ValueCase{"Empty", Entry(""), 0}, ValueCase{"SignOnly", Entry("+-5"), 0},
                    // 20 characters: the 19 kept end before the final 2.
                    ValueCase{"CutTo19", Entry("00000000000000000012"), 1},
                    ValueCase{"IntMax", Entry("2147483647"), INT_MAX},
                    ValueCase{"IntMin", Entry("-2147483648"), INT_MIN},
                    ValueCase{"Overflow", Entry("9999999999999999999"), INT_MAX},
                    ValueCase{"Underflow", Entry("-999999999999999999"), INT_MIN},
                    ValueCase{"Nul", Entry("4\0"s + "5"), 4},
                    ValueCase{"Binary", "\x80\xff\x01\x02=\x03", 2},
                    ValueCase{"HugeLine", std::string(5 << 20, '7'), 2},
                    ValueCase{"NoFinalEnd", "[Velmare - 7K]\nCOM Port 1_4=8", 8},
                    ValueCase{"MissingSection", "[Other]\nCOM Port 1_4=8\n", 2}),
    [](const auto& info) { return std::string(info.param.name); });

} // namespace
