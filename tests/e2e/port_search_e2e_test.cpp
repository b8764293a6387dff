// Finding the instrument, end to end: tarvex-read against simulators on
// pseudo-terminals that stand in for COM ports and USB serial adapters. The
// search order, the adapter remembered in Vextar.ini, the reason given for
// each kind of failure, the reader's options and messages, and ports left by
// a reader that was killed.
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <grp.h>
#include <gtest/gtest.h>
#include <map>
#include <optional>
#include <sstream>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

#include "tests/e2e/reader_process.h"
#include "tests/support/sim_process.h"

namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

const std::string FOUND = "Связь установлена по ";
const std::string SEARCH_FAILED = "Прибор не подключен к компьютеру,";

// Sets an environment variable for the life of the object.
class ScopedEnv {
public:
    ScopedEnv(std::string name, const std::string& value) : m_name(std::move(name)) {
        if (const char* old = std::getenv(m_name.c_str()))
            m_old = old;
        setenv(m_name.c_str(), value.c_str(), 1);
    }
    ~ScopedEnv() {
        if (m_old)
            setenv(m_name.c_str(), m_old->c_str(), 1);
        else
            unsetenv(m_name.c_str());
    }

private:
    std::string m_name;
    std::optional<std::string> m_old;
};

// COM1..COM4 pointed at the given devices (others at nothing), and the
// adapter folders at folders of the test, so no device of the machine is used.
struct PortMap {
    PortMap(const TempDir& dir, const std::map<int, std::string>& com) {
        fs::create_directories(dir.File("by-id"));
        fs::create_directories(dir.File("dev"));
        for (int n = 0; n <= 9; ++n)
            vars.push_back(std::make_unique<ScopedEnv>(
                "TARVEX_COM" + std::to_string(n),
                com.count(n) ? com.at(n) : "/nonexistent/tarvex-com" + std::to_string(n)));
        vars.push_back(std::make_unique<ScopedEnv>("TARVEX_SERIAL_BY_ID", dir.File("by-id")));
        vars.push_back(std::make_unique<ScopedEnv>("TARVEX_SERIAL_DEV", dir.File("dev")));
        vars.push_back(std::make_unique<ScopedEnv>("LC_ALL", "C"));
    }
    std::vector<std::unique_ptr<ScopedEnv>> vars;
};

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    return lines;
}

size_t LineCount(const std::string& path) {
    return Lines(ReadFile(path)).size();
}

bool Has(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

// Order of the parts in text, each found after the one before.
bool InOrder(const std::string& text, const std::vector<std::string>& parts) {
    size_t at = 0;
    for (const std::string& part : parts) {
        at = text.find(part, at);
        if (at == std::string::npos)
            return false;
        at += part.size();
    }
    return true;
}

const std::vector<std::string> READ = {"--count", "5", "--no-history", "--force"};

std::vector<std::string> ReadArgs(const TempDir& dir, std::vector<std::string> more = {}) {
    std::vector<std::string> args = READ;
    args.insert(args.end(), {"--output", dir.File("out.doc")});
    args.insert(args.end(), more.begin(), more.end());
    return args;
}

TEST(PortSearch, AdaptersFollowTheComPortsAndTheOneThatAnsweredIsTriedFirstNextTime) {
    TempDir dir;
    SimProcess com2({"--silent", "--log", dir.File("com2.log")});
    SimProcess silentAdapter({"--silent", "--log", dir.File("a.log")});
    SimProcess adapter({"--seed", "7", "--log", dir.File("b.log")});
    SimProcess bare({"--seed", "7"});
    SimProcess acm({"--seed", "7"});
    ASSERT_FALSE(acm.DevicePath().empty());
    const PortMap ports(dir, {{2, com2.DevicePath()}});
    const std::string a = dir.File("by-id/usb-Maker_A-if00-port0");
    const std::string b = dir.File("by-id/usb-Maker_B-if00-port0");
    fs::create_symlink(silentAdapter.DevicePath(), a);
    fs::create_symlink(adapter.DevicePath(), b);
    fs::create_symlink(bare.DevicePath(), dir.File("dev/ttyUSB0"));
    fs::create_symlink(acm.DevicePath(), dir.File("dev/ttyACM0"));
    fs::create_symlink(adapter.DevicePath(), dir.File("dev/ttyUSB1")); // has a stable name

    // What the search will try, in its order: COM ports as the instrument's
    // program has them, then the adapters, the stable names first.
    const ReaderRun list = RunReader({"--list-ports"}, dir.Path());
    EXPECT_EQ(list.status, 0);
    EXPECT_TRUE(InOrder(list.out, {"1. COM2", "present", "(saved port)", "2. COM1", "missing",
                                   "3. COM2", "4. COM3", "5. COM4", "6. " + a, "7. " + b,
                                   "8. " + dir.File("dev/ttyUSB0"), "9. " + dir.File("dev/ttyACM0"),
                                   "Other COM ports", "COM5"}))
        << list.out;
    EXPECT_FALSE(Has(list.out, "ttyUSB1")) << list.out;
    for (const std::string& line : Lines(list.out))
        EXPECT_EQ(line.find_last_not_of(' '), line.size() - 1) << "trailing blank: " << line;

    // First run: the COM ports and the silent adapter fail, the second answers.
    ReaderRun run = RunReader(ReadArgs(dir), dir.Path());
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_TRUE(Has(run.err, FOUND + b + "\n")) << run.err;
    EXPECT_EQ(ReadFile(dir.File("Vextar.ini")),
              "[Velmare - 7K]\nCOM Port 1_4= 4 \nDevice=" + b + "\n");
    EXPECT_EQ(LineCount(dir.File("com2.log")), 8u); // tried as the saved port and as COM2
    EXPECT_EQ(LineCount(dir.File("a.log")), 4u);

    // Second run: the remembered adapter first, nothing else touched.
    run = RunReader(ReadArgs(dir), dir.Path());
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_TRUE(Has(run.err, FOUND + b + "\n")) << run.err;
    EXPECT_EQ(LineCount(dir.File("com2.log")), 8u);
    EXPECT_EQ(LineCount(dir.File("a.log")), 4u);
    EXPECT_TRUE(InOrder(RunReader({"--list-ports"}, dir.Path()).out,
                        {"1. " + b, "(remembered adapter)", "2. COM4", "(saved port)"}));

    // The adapter unplugged, the instrument on COM3: found there, and the
    // adapter forgotten so that the COM ports lead again.
    fs::remove(b);
    fs::remove(dir.File("dev/ttyUSB1"));
    const PortMap moved(dir, {{2, com2.DevicePath()}, {3, bare.DevicePath()}});
    run = RunReader(ReadArgs(dir), dir.Path());
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_TRUE(Has(run.err, "Связь установлена по COM3\n")) << run.err;
    EXPECT_EQ(ReadFile(dir.File("Vextar.ini")), "[Velmare - 7K]\nCOM Port 1_4= 3 \n");
}

// A port that cannot be remembered costs one line, not the download.
TEST(PortSearch, AnUnwritableSettingsFileIsToldAndTheResultsStay) {
    TempDir dir;
    SimProcess sim({"--seed", "7"});
    ASSERT_FALSE(sim.DevicePath().empty());
    const PortMap ports(dir, {{3, sim.DevicePath()}});
    fs::create_directories(dir.File("Vextar.ini")); // in the way of the settings file
    const ReaderRun run = RunReader(ReadArgs(dir), dir.Path());
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_GT(LineCount(dir.File("out.doc")), 0u);
    const std::vector<std::string> lines = Lines(run.err);
    ASSERT_FALSE(lines.empty());
    EXPECT_TRUE(InOrder(lines.back(), {"tarvex-read: the port COM3 could not be remembered in",
                                       "Vextar.ini (Is a directory)"}))
        << run.err;
    EXPECT_TRUE(Has(run.out, "5 records")) << run.out;
}

// Each failure says why, and what to do.
struct FailureCase {
    const char* name;
    enum { NotATerminal, Busy, NothingAnswered, NoHardware } kind;
    std::vector<std::string> expected; // parts of the reader's output, in order
};

class PortFailure : public testing::TestWithParam<FailureCase> {};

TEST_P(PortFailure, TheFixedMessageThenTheReasonAndTheRemedy) {
    const FailureCase& c = GetParam();
    TempDir dir;
    SimProcess sim({"--silent"});
    ASSERT_FALSE(sim.DevicePath().empty());
    std::map<int, std::string> com = {{1, sim.DevicePath()}};
    // The far end of a pseudo-terminal never unlocked fails open with EIO, as
    // a serial node with no hardware behind it does.
    const int locked = c.kind == FailureCase::NoHardware ? posix_openpt(O_RDWR | O_NOCTTY) : -1;
    if (locked >= 0)
        for (int n = 1; n <= 4; ++n)
            com[n] = ptsname(locked);
    const PortMap ports(dir, com);
    std::vector<std::string> args = ReadArgs(dir);
    std::vector<std::string> expected;
    int holder = -1;
    switch (c.kind) {
    case FailureCase::NotATerminal:
        args.insert(args.end(), {"--device", "/dev/null"});
        expected = {"/dev/null: not a terminal",
                    "/dev/null is not a serial port (not a terminal)."};
        break;
    case FailureCase::Busy:
        holder = open(sim.DevicePath().c_str(), O_RDWR | O_NOCTTY);
        ASSERT_EQ(flock(holder, LOCK_EX | LOCK_NB), 0);
        args.insert(args.end(), {"--device", sim.DevicePath()});
        expected = {sim.DevicePath() + ": busy",
                    sim.DevicePath() + " is in use by another program (",
                    ", process " + std::to_string(getpid()) + "): close it, then try again."};
        break;
    case FailureCase::NothingAnswered:
        expected = {"COM2 (/nonexistent/tarvex-com2): missing",
                    "COM1 (" + sim.DevicePath() + "): no answer", "TARVEX_COM<n>", "--device",
                    "--list-ports"};
        break;
    case FailureCase::NoHardware:
        ASSERT_GE(locked, 0);
        expected = {"): missing", "TARVEX_COM<n>", "--device", "--list-ports"};
        break;
    }
    const ReaderRun run = RunReader(args, dir.Path());
    EXPECT_EQ(run.status, 3) << run.err;
    expected.insert(expected.begin(), {SEARCH_FAILED, "Ports tried:"});
    expected.push_back("Связь НЕ установлена.");
    EXPECT_TRUE(InOrder(run.err, expected)) << run.err;
    for (const std::string& line : Lines(run.err))
        EXPECT_TRUE(line.empty() || line.back() != ' ') << "trailing blank: " << line;
    if (locked >= 0) {
        for (int n = 1; n <= 4; ++n) // absent, as a node that is not there
            EXPECT_TRUE(Has(run.err, "COM" + std::to_string(n) + " (" + com[n] + "): missing\n"));
        EXPECT_FALSE(Has(run.err, "no port behind it")) << run.err;
        close(locked);
    }

    if (c.kind == FailureCase::Busy) {
        // The port list says busy, not present, for the port another program holds.
        const PortMap held(dir, {{1, sim.DevicePath()}});
        const ReaderRun list = RunReader({"--list-ports"}, dir.Path());
        EXPECT_TRUE(InOrder(list.out, {"COM1", sim.DevicePath(), "busy (", "process"})) << list.out;
        close(holder);
        EXPECT_TRUE(InOrder(RunReader({"--list-ports"}, dir.Path()).out,
                            {"COM1", sim.DevicePath(), "present"}));
    }
    // A failed search with --device leaves no settings file behind.
    if (c.kind == FailureCase::NotATerminal || c.kind == FailureCase::Busy) {
        EXPECT_FALSE(fs::exists(dir.File("Vextar.ini")));
    }
}

INSTANTIATE_TEST_SUITE_P(Reasons, PortFailure,
                         testing::Values(FailureCase{"NotATerminal", FailureCase::NotATerminal, {}},
                                         FailureCase{"Busy", FailureCase::Busy, {}},
                                         FailureCase{
                                             "NothingAnswered", FailureCase::NothingAnswered, {}},
                                         FailureCase{"NoHardware", FailureCase::NoHardware, {}}),
                         [](const auto& info) { return std::string(info.param.name); });

// Bad command lines: one line with the reason and where the help is.
TEST(ReaderOptions, EachBadCommandLineGetsOneLineAndStatus2) {
    TempDir dir;
    const ScopedEnv english("LC_ALL", "C");
    const std::vector<std::pair<std::vector<std::string>, std::string>> cases = {
        {{"--port", "3", "--device", "/dev/null"}, "give at most one of --port and --device"},
        {{"--device", "/dev/null", "--port=3"}, "give at most one of --port and --device"},
        {{"--count", "5", "--count", "6"}, "--count given more than once"},
        {{"--force", "--force"}, "--force given more than once"},
        {{"--table", "--report"}, "give at most one of --table, --report and --format"},
        {{"--bogus"}, "unknown argument '--bogus'"},
        {{"--timeout"}, "--timeout needs a value"},
        {{"--count", "5x"},
         "Неправильно введено количество записей (1...2000): --count takes a "
         "whole number, not '5x'"}};
    for (const auto& [args, reason] : cases) {
        const ReaderRun run = RunReader(args, dir.Path());
        EXPECT_EQ(run.status, 2) << reason;
        EXPECT_EQ(run.err, "tarvex-read: " + reason + " (see tarvex-read --help)\n");
        EXPECT_EQ(run.out, "");
    }
    EXPECT_FALSE(fs::exists(dir.File("Vextar.ini")));

    const ReaderRun help = RunReader({"--help"}, dir.Path());
    EXPECT_EQ(help.status, 0);
    for (const char* status : {"\n  0 ", "\n  2 ", "\n  3 ", "\n  4 ", "\n  5 ", "\n  130 "})
        EXPECT_TRUE(Has(help.out, status)) << status;
    for (const std::string& line : Lines(help.out))
        EXPECT_TRUE(line.empty() || line.back() != ' ') << "trailing blank: " << line;
}

// Each limit is taken; one beyond it is refused with the range.
TEST(ReaderOptions, LimitsAreTakenAndOneBeyondIsRefused) {
    TempDir dir;
    const ScopedEnv english("LC_ALL", "C");
    for (const auto& [option, high] :
         {std::pair{"--count", 2000}, {"--port", 99}, {"--timeout", 60000}}) {
        const std::string range = std::string(option) + " must be 1 to " + std::to_string(high);
        for (const int value : {1, high})
            EXPECT_EQ(RunReader({"--help", option, std::to_string(value)}, dir.Path()).status, 0)
                << option << ' ' << value;
        for (const int value : {0, high + 1}) {
            const ReaderRun run = RunReader({"--help", option, std::to_string(value)}, dir.Path());
            EXPECT_EQ(run.status, 2) << option << ' ' << value;
            EXPECT_TRUE(Has(run.err, range)) << run.err;
        }
    }
}

// The reader's own messages follow the user's language; the instrument's
// texts stay as they are.
TEST(ReaderOptions, MessagesInTheUsersLanguage) {
    TempDir dir;
    SimProcess sim({"--seed", "7"});
    ASSERT_FALSE(sim.DevicePath().empty());
    const PortMap ports(dir, {});
    std::map<std::string, std::vector<std::string>> expected = {
        {"C",
         {"unknown argument '--bogus' (see tarvex-read --help)", "1 record\n",
          "No such file or directory"}},
        {"ru_RU.UTF-8",
         {"неизвестный аргумент '--bogus' (см. tarvex-read --help)", "1 запись\n",
          "Нет такого файла или каталога"}}};
    for (const auto& [locale, texts] : expected) {
        const ScopedEnv language("LC_ALL", locale);
        EXPECT_TRUE(Has(RunReader({"--bogus"}, dir.Path()).err, texts[0])) << locale;
        // The system's error text in the same language and character set.
        const ReaderRun missing = RunReader({"--output", dir.File("no/such/x.doc")}, dir.Path());
        EXPECT_EQ(missing.status, 5);
        EXPECT_TRUE(Has(missing.err, texts[2])) << missing.err;
        const ReaderRun run = RunReader({"--count", "1", "--no-history", "--force", "--output",
                                         dir.File("one.doc"), "--device", sim.DevicePath()},
                                        dir.Path());
        EXPECT_EQ(run.status, 0) << run.err;
        EXPECT_TRUE(Has(run.out, texts[1])) << locale << ": " << run.out;
        EXPECT_TRUE(Has(run.err, FOUND + sim.DevicePath() + "\n")) << run.err;
    }
    const ScopedEnv russian("LC_ALL", "ru_RU.UTF-8");
    const ReaderRun run = RunReader({"--count", "2", "--no-history", "--force", "--output",
                                     dir.File("two.doc"), "--device", sim.DevicePath()},
                                    dir.Path());
    EXPECT_TRUE(Has(run.out, "2 записи\n")) << run.out;
}

// A device given on the command line is no COM port: the settings stay.
TEST(ReaderOptions, DeviceNamesTheDeviceAndLeavesTheSettingsAlone) {
    TempDir dir;
    SimProcess sim({"--seed", "7"});
    const PortMap ports(dir, {});
    const std::string ini = "[Velmare - 7K]\nCOM Port 1_4= 3 \n";
    std::ofstream(dir.File("Vextar.ini")) << ini;
    const ReaderRun run = RunReader(ReadArgs(dir, {"--device", sim.DevicePath()}), dir.Path());
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_TRUE(Has(run.err, FOUND + sim.DevicePath() + "\n")) << run.err;
    EXPECT_FALSE(Has(run.err, "COM")) << run.err;
    EXPECT_EQ(ReadFile(dir.File("Vextar.ini")), ini);
    EXPECT_TRUE(
        InOrder(RunReader({"--list-ports", "--device", sim.DevicePath()}, dir.Path()).out,
                {"only the device given with --device", "1. ", sim.DevicePath(), "present"}));
}

// ---- A reader killed mid-download, and the next one ----

// Starts tarvex-read in directory with its output in files there; the prefix
// (setpriv) runs it as another user.
pid_t StartReader(const std::vector<std::string>& prefix, const std::vector<std::string>& args,
                  const std::string& directory, const std::string& name) {
    const pid_t pid = fork();
    if (pid == 0) {
        if (chdir(directory.c_str()) != 0)
            _exit(126);
        const int out = open((name + ".out").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0666);
        const int err = open((name + ".err").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0666);
        dup2(out, STDOUT_FILENO);
        dup2(err, STDERR_FILENO);
        std::vector<std::string> all = prefix;
        all.push_back(TARVEX_READ_PATH);
        all.insert(all.end(), args.begin(), args.end());
        std::vector<char*> argv;
        for (std::string& a : all)
            argv.push_back(a.data());
        argv.push_back(nullptr);
        execv(argv[0], argv.data());
        _exit(127);
    }
    return pid;
}

int WaitStatus(pid_t pid) {
    int status = 0;
    waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

// Waits until the simulator has logged at least n frames.
bool LoggedAtLeast(const std::string& log, size_t n) {
    for (auto deadline = std::chrono::steady_clock::now() + 60s;
         std::chrono::steady_clock::now() < deadline; std::this_thread::sleep_for(20ms))
        if (LineCount(log) >= n)
            return true;
    return false;
}

struct KilledCase {
    const char* name;
    bool asNobody;
};

class KilledReader : public testing::TestWithParam<KilledCase> {};

TEST_P(KilledReader, TheNextReaderFindsTheInstrumentAtOnce) {
    const bool asNobody = GetParam().asNobody;
    std::vector<std::string> prefix;
    if (asNobody) {
        if (geteuid() != 0 || access("/usr/bin/setpriv", X_OK) != 0)
            GTEST_SKIP() << "needs root and setpriv to run as another user";
        prefix = {"/usr/bin/setpriv", "--reuid=nobody", "--regid=nogroup", "--clear-groups", "--"};
    }
    TempDir dir;
    chmod(dir.Path().c_str(), 0777);
    const std::string log = dir.File("sim.log");
    // The simulator runs as the same user, so its port belongs to that user.
    SimProcess sim({"--seed", "7", "--log", log}, prefix);
    ASSERT_FALSE(sim.DevicePath().empty());
    const PortMap ports(dir, {});
    for (int round = 0; round < 3; ++round) {
        const std::vector<std::string> args = {"--count",  "200",           "--no-history",
                                               "--force",  "--output",      "killed.doc",
                                               "--device", sim.DevicePath()};
        const size_t before = LineCount(log);
        const pid_t killed = StartReader(prefix, args, dir.Path(), "killed");
        // Killed while replies are on the line.
        ASSERT_TRUE(LoggedAtLeast(log, before + 20)) << ReadFile(dir.File("killed.err"));
        kill(killed, SIGKILL);
        EXPECT_EQ(WaitStatus(killed), 128 + SIGKILL);

        const pid_t next = StartReader(prefix,
                                       {"--count", "3", "--no-history", "--force", "--output",
                                        "next.doc", "--device", sim.DevicePath()},
                                       dir.Path(), "next");
        EXPECT_EQ(WaitStatus(next), 0)
            << "round " << round << ": " << ReadFile(dir.File("next.err"));
        // Found with the first presence frame: no stale byte decided the search.
        const std::string err = ReadFile(dir.File("next.err"));
        EXPECT_TRUE(Has(err, FOUND + sim.DevicePath())) << err;
    }
}

// A user kept out of a device is told to join its group only when that group
// may read and write it and is not root's; otherwise who may open it and what
// to ask an administrator for. The port list does not call it present.
TEST(PortPermission, AdviceFollowsTheDevicesOwnerGroupAndMode) {
    const group* entry = getgrnam("tty");
    const gid_t ttyId = entry != nullptr ? entry->gr_gid : 0;
    entry = getgrnam("dialout");
    const gid_t dialoutId = entry != nullptr ? entry->gr_gid : 0;
    if (geteuid() != 0 || access("/usr/bin/setpriv", X_OK) != 0 || ttyId == 0 || dialoutId == 0)
        GTEST_SKIP() << "needs root, setpriv to run as another user, and the groups tty, dialout";
    const std::vector<std::string> nobody = {"/usr/bin/setpriv", "--reuid=nobody",
                                             "--regid=nogroup", "--clear-groups", "--"};
    TempDir dir;
    chmod(dir.Path().c_str(), 0777);
    SimProcess sim({"--seed", "7"}); // its port belongs to root
    const std::string device = sim.DevicePath();
    ASSERT_FALSE(device.empty());
    const PortMap ports(dir, {{1, device}});
    const std::string ask = ". Ask an administrator for read and write access to it";
    const struct {
        gid_t group;
        mode_t mode;
        std::string says;
    } cases[] = {
        {0, 0600,
         " (owner root, group root, mode 0600): only its owner root may read and write it"},
        {0, 0660,
         " (owner root, group root, mode 0660): only its owner root and the members of "
         "the group root may read and write it"},
        {ttyId, 0620,
         " (owner root, group tty, mode 0620): only its owner root may read and "
         "write it"}, // a terminal
        {dialoutId, 0660,
         ": it belongs to the group dialout, and you are not in it. Join the "
         "group with \"sudo usermod -aG dialout $USER\", then log out and in "
         "again."},
    };
    for (const auto& c : cases) {
        ASSERT_EQ(chown(device.c_str(), 0, c.group), 0);
        ASSERT_EQ(chmod(device.c_str(), c.mode), 0);
        EXPECT_EQ(WaitStatus(StartReader(nobody, ReadArgs(dir, {"--device", device}), dir.Path(),
                                         "denied")),
                  3);
        const std::string err = ReadFile(dir.File("denied.err"));
        EXPECT_TRUE(InOrder(err, {SEARCH_FAILED, device + ": no permission",
                                  "No permission to open " + device + c.says}))
            << err;
        EXPECT_EQ(Has(err, "usermod"), c.group == dialoutId) << err;
        EXPECT_EQ(Has(err, ask), c.group != dialoutId) << err;
    }
    EXPECT_EQ(WaitStatus(StartReader(nobody, {"--list-ports"}, dir.Path(), "list")), 0);
    const std::string list = ReadFile(dir.File("list.out"));
    EXPECT_TRUE(InOrder(list, {"2. COM1", device, "no permission (group dialout)"})) << list;
}

INSTANTIATE_TEST_SUITE_P(Ports, KilledReader,
                         testing::Values(KilledCase{"ThisUser", false},
                                         KilledCase{"OtherUser", true}),
                         [](const auto& info) { return std::string(info.param.name); });

// Ctrl-C or SIGTERM mid-download: the run ends in order, without a results
// file, and the port that answered is still saved.
TEST(InterruptedReader, EndsWith130WithoutAFileAndKeepsThePort) {
    TempDir dir;
    const std::string log = dir.File("sim.log");
    SimProcess sim({"--seed", "7", "--log", log}); // a paced line
    ASSERT_FALSE(sim.DevicePath().empty());
    const PortMap ports(dir, {{3, sim.DevicePath()}});
    for (const int signal : {SIGTERM, SIGINT}) {
        SCOPED_TRACE(strsignal(signal));
        fs::remove(dir.File("Vextar.ini"));
        const size_t before = LineCount(log);
        const pid_t reader = StartReader(
            {}, {"--count", "200", "--no-history", "--output", "out.doc"}, dir.Path(), "reader");
        ASSERT_TRUE(LoggedAtLeast(log, before + 20)) << ReadFile(dir.File("reader.err"));
        kill(reader, signal);
        EXPECT_EQ(WaitStatus(reader), 130) << ReadFile(dir.File("reader.err"));
        for (const auto& entry : fs::directory_iterator(dir.Path()))
            EXPECT_FALSE(Has(entry.path().filename().string(), "out.doc")) << entry.path();
        EXPECT_TRUE(Has(ReadFile(dir.File("Vextar.ini")), "COM Port 1_4= 3 \n"));
    }
}

} // namespace
