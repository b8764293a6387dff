#include "platform/profile_file.h"
#include "tests/support/sim_process.h"

#include <csignal>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>

namespace {

using namespace std::string_literals;
const std::string SEC = "Velmare - 7K";
const std::string KEY = "COM Port 1_4";

struct GetCase {
    const char* name;
    std::string text;
    std::string expected;
    size_t nSize = 20;
};

void PrintTo(const GetCase& c, std::ostream* os) {
    *os << c.name;
}

class ProfileGetTest : public testing::TestWithParam<GetCase> {};

TEST_P(ProfileGetTest, ReadsLikeTheWindowsProfileFunctions) {
    const GetCase& c = GetParam();
    EXPECT_EQ(ProfileGet(c.text, SEC, KEY, "2", c.nSize), c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ProfileGetTest,
    testing::Values(
        GetCase{"Empty", "", "2"}, GetCase{"Blanks", "[Velmare - 7K]\nCOM Port 1_4= 3 \n", "3"},
        GetCase{"CaseAndBlanks", " [ velmare - 7k ] \n\t com port 1_4 \t=\t4\t\n", "4"},
        GetCase{"Crlf", "[Velmare - 7K]\r\nCOM Port 1_4=5\r\n", "5"},
        GetCase{"NoFinalEnd", "[Velmare - 7K]\nCOM Port 1_4=6", "6"},
        GetCase{"OtherSection", "[Other]\nCOM Port 1_4=7\n[Velmare - 7K]\nx=1\n", "2"},
        GetCase{"FirstSectionOnly", "[Velmare - 7K]\nx=1\n[Velmare - 7K]\nCOM Port 1_4=8\n", "2"},
        GetCase{"FirstKeyWins", "[Velmare - 7K]\nCOM Port 1_4=9\nCOM Port 1_4=1\n", "9"},
        GetCase{"CommentIgnored", "[Velmare - 7K]\n;COM Port 1_4=9\nCOM Port 1_4\n", "2"},
        GetCase{"EmptyValue", "[Velmare - 7K]\nCOM Port 1_4=\n", ""},
        GetCase{"CutTo19", "[Velmare - 7K]\nCOM Port 1_4=abcdefghijklmnopqrstuvwxyz\n",
                "abcdefghijklmnopqrs"},
        GetCase{"SizeZero", "[Velmare - 7K]\nCOM Port 1_4=3\n", "", 0},
        GetCase{"NulsAround", "\0\0\n[Velmare - 7K]\n\0=1\nCOM Port 1_4=3\0x\n"s, "3\0x"s},
        GetCase{"HugeLineFirst", std::string(5 << 20, 'z') + "\n[Velmare - 7K]\nCOM Port 1_4=4",
                "4"}),
    [](const auto& info) { return std::string(info.param.name); });

struct SetCase {
    const char* name;
    std::string before;
    std::string after;
};

void PrintTo(const SetCase& c, std::ostream* os) {
    *os << c.name;
}

class ProfileSetTest : public testing::TestWithParam<SetCase> {};

TEST_P(ProfileSetTest, ChangesOnlyTheKeyLine) {
    const SetCase& c = GetParam();
    std::optional<std::string> out = ProfileSet(c.before, SEC, KEY, " 3 ");
    ASSERT_TRUE(out);
    EXPECT_EQ(*out, c.after);
    EXPECT_EQ(ProfileGet(*out, SEC, KEY, "2", 20), "3");
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ProfileSetTest,
    testing::Values(
        SetCase{"NewFile", "", "[Velmare - 7K]\nCOM Port 1_4= 3 \n"},
        SetCase{"Replace", "; keep\n[a]\nk = v\n[velmare - 7k]\n  com port 1_4 = 9 \nz=1\n",
                "; keep\n[a]\nk = v\n[velmare - 7k]\ncom port 1_4= 3 \nz=1\n"},
        SetCase{"ReplaceCrlf", "[Velmare - 7K]\r\nCOM Port 1_4= 2 \r\n[b]\r\n",
                "[Velmare - 7K]\r\nCOM Port 1_4= 3 \r\n[b]\r\n"},
        SetCase{"AddBeforeBlankAndNextSection", "[Velmare - 7K]\r\nx=1\r\n\r\n[b]\r\ny=2",
                "[Velmare - 7K]\r\nx=1\r\nCOM Port 1_4= 3 \r\n\r\n[b]\r\ny=2"},
        SetCase{"AddToLastSectionWithoutEnd", "[Velmare - 7K]\nx=1",
                "[Velmare - 7K]\nx=1\nCOM Port 1_4= 3 \n"},
        SetCase{"AppendSectionCrlf", "[a]\r\nk=v",
                "[a]\r\nk=v\r\n[Velmare - 7K]\r\nCOM Port 1_4= 3 \r\n"},
        SetCase{"FirstSectionOnly", "[Velmare - 7K]\n[Velmare - 7K]\nCOM Port 1_4=1\n",
                "[Velmare - 7K]\nCOM Port 1_4= 3 \n[Velmare - 7K]\nCOM Port 1_4=1\n"},
        SetCase{"BinaryKept", "\xff\0\x80\n"s, "\xff\0\x80\n[Velmare - 7K]\nCOM Port 1_4= 3 \n"s}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(ProfileSet, RefusesNamesThatWouldNotReadBack) {
    const std::pair<std::string, std::string> bad[] = {
        {"", "k"},   {"  ", "k"}, {"a]b", "k"},  {"a\nb", "k"}, {"s", ""},     {"s", "a=b"},
        {"s", "[k"}, {"s", ";k"}, {"s", "k\rx"}, {"s", "k\0"s}, {"s\0"s, "k"},
    };
    for (const auto& [section, key] : bad)
        EXPECT_FALSE(ProfileSet("[s]\n", section, key, "v")) << section << "/" << key;
    EXPECT_FALSE(ProfileSet("", "s", "k", "v\nw"));
}

// The file-level functions, in a scratch directory.
class ProfileFileTest : public testing::Test {
protected:
    std::string ReadAll(const std::string& path) {
        std::ifstream in(path, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    }
    void WriteAll(const std::string& path, const std::string& text) {
        std::ofstream(path, std::ios::binary) << text;
    }
    size_t EntryCount() {
        return std::distance(std::filesystem::directory_iterator(m_dir.Path()), {});
    }
    TempDir m_dir;
    std::string m_path = m_dir.File("Vextar.ini");
};

TEST_F(ProfileFileTest, RewriteKeepsPermissionBitsAndLeavesNoTemporary) {
    WriteAll(m_path, "[Velmare - 7K]\nCOM Port 1_4= 1 \n");
    ASSERT_EQ(chmod(m_path.c_str(), 0604), 0);
    EXPECT_EQ(ProfileFileSet(m_path, SEC, KEY, " 4 "), 1);
    struct stat st;
    ASSERT_EQ(stat(m_path.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0604u);
    EXPECT_EQ(ProfileFileGet(m_path, SEC, KEY, "2", 20), "4");
    EXPECT_EQ(EntryCount(), 1u);
}

TEST_F(ProfileFileTest, SymbolicLinkStaysAndItsTargetChanges) {
    const std::string real = m_dir.File("real.ini");
    WriteAll(real, "");
    std::filesystem::create_symlink(real, m_path);
    EXPECT_EQ(ProfileFileSet(m_path, SEC, KEY, "5"), 1);
    EXPECT_TRUE(std::filesystem::is_symlink(m_path));
    EXPECT_EQ(ReadAll(real), "[Velmare - 7K]\nCOM Port 1_4=5\n");
}

TEST_F(ProfileFileTest, NonRegularFilesGiveDefaultAndRefuseWrites) {
    ASSERT_TRUE(std::filesystem::create_directory(m_path));
    EXPECT_EQ(ProfileFileGet(m_path, SEC, KEY, "2", 20), "2");
    EXPECT_EQ(ProfileFileSet(m_path, SEC, KEY, "5"), 0);
    EXPECT_TRUE(std::filesystem::is_directory(m_path));

    const std::string fifo = m_dir.File("fifo.ini");
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    EXPECT_EQ(ProfileFileGet(fifo, SEC, KEY, "2", 20), "2"); // must not block
    EXPECT_EQ(ProfileFileSet(fifo, SEC, KEY, "5"), 0);
    EXPECT_EQ(EntryCount(), 2u);
}

TEST_F(ProfileFileTest, FailedWriteKeepsOldFile) {
    // A file-size limit makes the write of the new text fail as a full disk would.
    const std::string old = "[Velmare - 7K]\nCOM Port 1_4= 1 \n";
    WriteAll(m_path, old);
    rlimit saved;
    getrlimit(RLIMIT_FSIZE, &saved);
    rlimit small = saved;
    small.rlim_cur = 16;
    auto oldHandler = signal(SIGXFSZ, SIG_IGN);
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    int nResult = ProfileFileSet(m_path, SEC, KEY, " 7 ");
    setrlimit(RLIMIT_FSIZE, &saved);
    signal(SIGXFSZ, oldHandler);
    EXPECT_EQ(nResult, 0);
    EXPECT_EQ(ReadAll(m_path), old);
    EXPECT_EQ(EntryCount(), 1u);
}

TEST_F(ProfileFileTest, ReadOnlyDirectoryKeepsOldFile) {
    if (geteuid() == 0)
        GTEST_SKIP() << "root writes into read-only directories";
    WriteAll(m_path, "[Velmare - 7K]\nCOM Port 1_4=1\n");
    ASSERT_EQ(chmod(m_dir.Path().c_str(), 0555), 0);
    EXPECT_EQ(ProfileFileSet(m_path, SEC, KEY, "7"), 0);
    chmod(m_dir.Path().c_str(), 0755);
    EXPECT_EQ(ReadAll(m_path), "[Velmare - 7K]\nCOM Port 1_4=1\n");
    EXPECT_EQ(EntryCount(), 1u);
}

TEST_F(ProfileFileTest, OversizedFileIsReadInPartAndNeverRewritten) {
    std::string text = "[Velmare - 7K]\nCOM Port 1_4=3\n";
    text.resize(PROFILE_MAX_FILE_SIZE + 100, 'x');
    WriteAll(m_path, text);
    EXPECT_EQ(ProfileFileGet(m_path, SEC, KEY, "2", 20), "3");
    EXPECT_EQ(ProfileFileSet(m_path, SEC, KEY, "4"), 0);
    EXPECT_EQ(std::filesystem::file_size(m_path), text.size());
}

} // namespace
