// The results file in real use, tarvex-read against tarvex-sim on a paced
// line: a full disk (a file-size limit, as `ulimit -f` sets it), a folder that
// is missing, read-only or may not be searched, a file that appears at the
// target during the download, and an output pipe closed early. Whatever
// happens, the file at the target is the old one or the whole new one, the
// reason is told, and nothing is left beside it.
#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <grp.h>
#include <poll.h>
#include <set>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

#include "tests/e2e/reader_process.h"
#include "tests/hardening/download_rig.h"

namespace {

using namespace std::chrono_literals;
namespace fs = std::filesystem;

constexpr uid_t NOBODY = 65534;

// How the reader is started: as a shell with `ulimit -f` and a user switch
// would start it, with its output to files or to a pipe.
struct ReaderStart {
    std::vector<std::string> args = {};
    std::string directory = {};
    rlim_t nFileLimit = RLIM_INFINITY; // bytes
    bool bAsNobody = false;
    bool bPipe = false; // stdout and stderr into one pipe, as `2>&1 | head -1`
    std::vector<std::pair<std::string, std::string>> env = {};
};

class ReaderChild {
public:
    explicit ReaderChild(const ReaderStart& start) : m_io(), m_bPipe(start.bPipe) {
        int fds[2] = {-1, -1};
        if (m_bPipe && pipe(fds) != 0)
            ADD_FAILURE() << "pipe failed";
        m_pid = fork();
        if (m_pid == 0) {
            if (m_bPipe)
                close(fds[0]); // else the pipe never closes for the reader
            Exec(start, fds[1]);
        }
        if (m_bPipe) {
            close(fds[1]);
            m_pipe = fds[0];
        }
    }
    ~ReaderChild() {
        if (m_pid > 0) {
            kill(m_pid, SIGKILL);
            waitpid(m_pid, nullptr, 0);
        }
        if (m_pipe >= 0)
            close(m_pipe);
    }

    // The first line of the pipe; the reading end is closed after it.
    std::string FirstLineThenClose() {
        std::string line;
        char c;
        pollfd pfd{m_pipe, POLLIN, 0};
        while (poll(&pfd, 1, 60000) > 0 && read(m_pipe, &c, 1) == 1 && c != '\n')
            line += c;
        close(m_pipe);
        m_pipe = -1;
        return line;
    }

    // Its exit status (-1 when killed by a signal, 137 when killed here at
    // the limit) and what it wrote to files.
    ReaderRun Wait(std::chrono::seconds limit = 120s) {
        const auto deadline = std::chrono::steady_clock::now() + limit;
        int wstatus = 0;
        while (waitpid(m_pid, &wstatus, WNOHANG) == 0) {
            if (std::chrono::steady_clock::now() > deadline) {
                kill(m_pid, SIGKILL);
                waitpid(m_pid, &wstatus, 0);
                m_pid = -1;
                return {137, {}, {}};
            }
            std::this_thread::sleep_for(20ms);
        }
        m_pid = -1;
        ReaderRun run{WIFEXITED(wstatus) ? WEXITSTATUS(wstatus) : -1, {}, {}};
        if (WIFSIGNALED(wstatus))
            run.err = std::string("killed by ") + strsignal(WTERMSIG(wstatus));
        if (!m_bPipe) {
            run.out = ReadFile(m_io.File("out"));
            run.err += ReadFile(m_io.File("err"));
        }
        return run;
    }

private:
    [[noreturn]] void Exec(const ReaderStart& start, int pipeEnd) {
        // As from a shell: default signal actions, the limit, the user.
        std::signal(SIGXFSZ, SIG_DFL);
        std::signal(SIGPIPE, SIG_DFL);
        const rlimit limit{start.nFileLimit, RLIM_INFINITY};
        if (start.nFileLimit != RLIM_INFINITY)
            setrlimit(RLIMIT_FSIZE, &limit);
        if (start.bPipe) {
            dup2(pipeEnd, STDOUT_FILENO);
            dup2(pipeEnd, STDERR_FILENO);
            close(pipeEnd);
        } else {
            dup2(open(m_io.File("out").c_str(), O_WRONLY | O_CREAT, 0666), STDOUT_FILENO);
            dup2(open(m_io.File("err").c_str(), O_WRONLY | O_CREAT, 0666), STDERR_FILENO);
        }
        setenv("LC_ALL", "C", 1); // messages and reasons as this test expects them
        for (const auto& [name, value] : start.env)
            setenv(name.c_str(), value.c_str(), 1);
        if (start.bAsNobody &&
            (setgroups(0, nullptr) != 0 || setgid(NOBODY) != 0 || setuid(NOBODY) != 0))
            _exit(126);
        if (chdir(start.directory.c_str()) != 0)
            _exit(126);
        std::vector<std::string> args = start.args;
        args.insert(args.begin(), TARVEX_READ_PATH);
        std::vector<char*> argv;
        for (std::string& arg : args)
            argv.push_back(arg.data());
        argv.push_back(nullptr);
        execv(argv[0], argv.data());
        _exit(127);
    }

    TempDir m_io;
    bool m_bPipe;
    pid_t m_pid = -1;
    int m_pipe = -1;
};

std::set<std::string> Names(const std::string& folder) {
    std::set<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder))
        names.insert(entry.path().filename().string());
    return names;
}

int Lines(const std::string& text) {
    return static_cast<int>(std::count(text.begin(), text.end(), '\n'));
}

// Permission bits stop the reader only when it is not the superuser; as the
// superuser it is run as nobody, for whom the test's files are opened up.
bool PrepareForNobody(const TempDir& dir, const std::string& device) {
    if (geteuid() != 0)
        return true;
    return chmod(dir.Path().c_str(), 0777) == 0 && chmod(device.c_str(), 0666) == 0;
}

// Each case ends with status 5 and the system's reason; the old file (if
// any) is as it was; nothing else is left in its folder. A folder that cannot
// take the file is found before the instrument is asked anything.
TEST(ResultsFile, ReaderFailsWithTheReasonAndKeepsTheOldFile) {
    const std::string old(5000, 'o');
    const struct {
        const char* szName;
        const char* szOutput; // under the test folder
        int nError;
        bool bOld; // an old file is at the output before the run
        bool bForce;
        rlim_t nFileLimit;   // bytes
        bool bNeedsNoRights; // a folder this user may not write or search
        bool bDownloads;     // the instrument is read before the failure
    } cases[] = {
        {"full disk onto an old file", "out.doc", EFBIG, true, true, 2048, false, true},
        {"full disk, new file", "out.doc", EFBIG, false, false, 2048, false, true},
        {"missing folder", "missing/out.doc", ENOENT, false, false, RLIM_INFINITY, false, false},
        {"output names a folder", "sub", EISDIR, false, true, RLIM_INFINITY, false, false},
        {"read-only folder", "read-only/out.doc", EACCES, false, false, RLIM_INFINITY, true, false},
        {"read-only folder, forced", "read-only/out.doc", EACCES, false, true, RLIM_INFINITY, true,
         false},
        {"folder that may not be searched", "locked/out.doc", EACCES, false, false, RLIM_INFINITY,
         true, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.szName);
        TempDir dir;
        SimProcess sim({"--seed", "7", "--position", "150", "--log", dir.File("sim.log")});
        ASSERT_FALSE(sim.DevicePath().empty());
        ASSERT_EQ(mkdir(dir.File("read-only").c_str(), 0555), 0);
        ASSERT_EQ(mkdir(dir.File("locked").c_str(), 0), 0);
        ASSERT_EQ(mkdir(dir.File("sub").c_str(), 0755), 0);
        const std::string output = dir.File(c.szOutput);
        if (c.bOld)
            std::ofstream(output) << old;
        ASSERT_TRUE(PrepareForNobody(dir, sim.DevicePath()));
        std::set<std::string> before = Names(dir.Path());
        before.erase("sim.log");

        ReaderStart start{
            {"--count", "20", "--device", sim.DevicePath(), "--output", output, "--no-history"},
            dir.Path()};
        if (c.bForce)
            start.args.push_back("--force");
        start.nFileLimit = c.nFileLimit;
        start.bAsNobody = c.bNeedsNoRights && geteuid() == 0;
        const ReaderRun run = ReaderChild(start).Wait();
        EXPECT_EQ(run.status, 5) << run.err;
        EXPECT_NE(run.err.find(std::strerror(c.nError)), std::string::npos) << run.err;
        EXPECT_EQ(run.err.find("exists"), std::string::npos) << run.err;
        EXPECT_EQ(Lines(run.err) > 2, c.bDownloads) << run.err;
        // Nothing at all on the line when the folder was refused.
        EXPECT_EQ(ReadFile(dir.File("sim.log")).empty(), !c.bDownloads);
        if (c.bOld) {
            EXPECT_EQ(ReadFile(output), old);
        }
        std::set<std::string> after = Names(dir.Path());
        after.erase("Vextar.ini");
        after.erase("sim.log");
        EXPECT_EQ(after, before);
        EXPECT_TRUE(Names(dir.File("read-only")).empty());
    }
}

// Without --force a file that takes the name during the download is kept;
// with it, the download's file replaces it whole.
TEST(ResultsFile, AFileAppearingDuringTheDownloadIsKeptUnlessForced) {
    for (const bool bForce : {false, true}) {
        SCOPED_TRACE(bForce ? "--force" : "no --force");
        TempDir dir;
        SimProcess sim({"--seed", "7", "--position", "150", "--log", dir.File("sim.log")});
        ASSERT_FALSE(sim.DevicePath().empty());
        const std::string output = dir.File("out.doc");
        ReaderStart start{
            {"--count", "30", "--device", sim.DevicePath(), "--output", output, "--no-history"},
            dir.Path()};
        if (bForce)
            start.args.push_back("--force");
        ReaderChild reader(start);
        // Five records in, of thirty at about 57 ms each on the paced line.
        const auto deadline = std::chrono::steady_clock::now() + 60s;
        while (Lines(ReadFile(dir.File("sim.log"))) < 8 &&
               std::chrono::steady_clock::now() < deadline)
            std::this_thread::sleep_for(10ms);
        std::ofstream(output) << "theirs";
        EXPECT_LT(Lines(ReadFile(dir.File("sim.log"))), 33) << "the file appeared too late";
        const ReaderRun run = reader.Wait();
        if (bForce) {
            EXPECT_EQ(run.status, 0) << run.err;
            EXPECT_EQ(ReadFile(output), ExpectedFile(dir, "--seed 7", 150, 30));
        } else {
            EXPECT_EQ(run.status, 5) << run.err;
            EXPECT_NE(run.err.find("appeared during the download"), std::string::npos) << run.err;
            EXPECT_EQ(ReadFile(output), "theirs");
        }
        std::set<std::string> names = Names(dir.Path());
        names.erase("expected.doc");
        names.erase("archive.bin");
        names.erase("Vextar.ini");
        EXPECT_EQ(names, (std::set<std::string>{"out.doc", "sim.log"}));
    }
}

// A file the user may write in a folder that takes no new file (run as
// nobody when the tests run as the superuser): --force replaces it in place
// with the whole new file; under a file-size limit the old file stays whole.
TEST(ResultsFile, AFileInAFolderThatTakesNoNewFileIsReplacedInPlace) {
    for (const bool bLimited : {false, true}) {
        SCOPED_TRACE(bLimited ? "file-size limit" : "no limit");
        TempDir dir;
        SimProcess sim({"--seed", "7", "--position", "150"});
        ASSERT_FALSE(sim.DevicePath().empty());
        ASSERT_EQ(mkdir(dir.File("staging").c_str(), 0777), 0);
        ASSERT_EQ(chmod(dir.File("staging").c_str(), 0777), 0); // past the umask
        ASSERT_EQ(mkdir(dir.File("read-only").c_str(), 0755), 0);
        const std::string output = dir.File("read-only/out.doc");
        const std::string old(1000, 'o');
        std::ofstream(output) << old;
        ASSERT_EQ(chmod(output.c_str(), 0666), 0);
        ASSERT_EQ(chmod(dir.File("read-only").c_str(), 0555), 0);
        ASSERT_TRUE(PrepareForNobody(dir, sim.DevicePath()));
        ReaderStart start{{"--count", "30", "--device", sim.DevicePath(), "--output", output,
                           "--no-history", "--force"},
                          dir.Path()};
        start.bAsNobody = geteuid() == 0;
        start.env = {{"TMPDIR", dir.File("staging")}};
        if (bLimited)
            start.nFileLimit = 2048;
        const ReaderRun run = ReaderChild(start).Wait();
        if (bLimited) {
            EXPECT_EQ(run.status, 5) << run.err;
            EXPECT_NE(run.err.find(std::strerror(EFBIG)), std::string::npos) << run.err;
            EXPECT_EQ(ReadFile(output), old);
        } else {
            EXPECT_EQ(run.status, 0) << run.err;
            EXPECT_EQ(ReadFile(output), ExpectedFile(dir, "--seed 7", 150, 30));
        }
        EXPECT_EQ(Names(dir.File("read-only")), std::set<std::string>{"out.doc"});
        EXPECT_TRUE(Names(dir.File("staging")).empty());
    }
}

// `tarvex-read ... 2>&1 | head -1`: the reader reads on after the first line,
// writes the file and saves the port where it found the instrument.
TEST(ResultsFile, AClosedOutputPipeCostsNeitherTheFileNorThePort) {
    TempDir dir;
    SimProcess sim({"--seed", "7", "--position", "150"});
    ASSERT_FALSE(sim.DevicePath().empty());
    std::ofstream(dir.File("Vextar.ini")) << "[Velmare - 7K]\nCOM Port 1_4=1\n";
    ReaderStart start{.args = {"--count", "20", "--output", "out.doc", "--no-history"},
                      .directory = dir.Path()};
    start.bPipe = true;
    start.env = {{"TARVEX_COM1", "/nonexistent/tarvex-port"},
                 {"TARVEX_COM2", "/nonexistent/tarvex-port"},
                 {"TARVEX_COM3", sim.DevicePath()},
                 {"TARVEX_COM4", "/nonexistent/tarvex-port"}};
    ReaderChild reader(start);
    EXPECT_NE(reader.FirstLineThenClose(), "");
    const ReaderRun run = reader.Wait();
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(ReadFile(dir.File("out.doc")), ExpectedFile(dir, "--seed 7", 150, 20));
    EXPECT_EQ(ReadFile(dir.File("Vextar.ini")), "[Velmare - 7K]\nCOM Port 1_4= 3 \n");
}

} // namespace
