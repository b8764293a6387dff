#include "tests/support/sim_process.h"

#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <gtest/gtest.h>
#include <poll.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

SimProcess::SimProcess(std::vector<std::string> args, std::vector<std::string> prefix) {
    int out[2];
    if (pipe(out) != 0) {
        ADD_FAILURE() << "pipe failed";
        return;
    }
    m_pid = fork();
    if (m_pid == 0) {
        dup2(out[1], STDOUT_FILENO);
        close(out[0]);
        close(out[1]);
        std::vector<char*> argv;
        std::string path = TARVEX_SIM_PATH;
        for (auto& a : prefix)
            argv.push_back(a.data());
        argv.push_back(path.data());
        for (auto& a : args)
            argv.push_back(a.data());
        argv.push_back(nullptr);
        execv(argv[0], argv.data());
        _exit(127);
    }
    close(out[1]);
    // The first line on the simulator's standard output is its device path.
    std::string line;
    char c;
    pollfd pfd{out[0], POLLIN, 0};
    while (poll(&pfd, 1, 10000) > 0 && read(out[0], &c, 1) == 1 && c != '\n')
        line += c;
    close(out[0]);
    if (line.empty() || line[0] != '/')
        ADD_FAILURE() << "tarvex-sim printed no device path: '" << line << "'";
    else
        m_devicePath = line;
}

SimProcess::~SimProcess() {
    Kill();
}

void SimProcess::Kill(int sig) {
    if (m_pid <= 0)
        return;
    kill(m_pid, sig);
    int status = 0;
    waitpid(m_pid, &status, 0);
    m_pid = -1;
}

ScopedComPort::ScopedComPort(int n, const std::string& device)
    : m_name("TARVEX_COM" + std::to_string(n)) {
    setenv(m_name.c_str(), device.c_str(), 1);
}

ScopedComPort::~ScopedComPort() {
    unsetenv(m_name.c_str());
}

TempDir::TempDir() {
    std::string pattern = (std::filesystem::temp_directory_path() / "tarvex-test-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr)
        ADD_FAILURE() << "mkdtemp failed";
    m_path = pattern;
}

TempDir::~TempDir() {
    std::error_code ec;
    std::filesystem::remove_all(m_path, ec);
}

FileSizeLimit::FileSizeLimit(unsigned long bytes) {
    rlimit limit;
    if (getrlimit(RLIMIT_FSIZE, &limit) != 0)
        return;
    m_nSavedCur = limit.rlim_cur;
    // Without this the process would be killed by SIGXFSZ instead of the
    // write failing.
    m_pSavedHandler = signal(SIGXFSZ, SIG_IGN);
    limit.rlim_cur = bytes;
    m_bActive = setrlimit(RLIMIT_FSIZE, &limit) == 0;
}

FileSizeLimit::~FileSizeLimit() {
    rlimit limit;
    if (m_bActive && getrlimit(RLIMIT_FSIZE, &limit) == 0) {
        limit.rlim_cur = m_nSavedCur;
        setrlimit(RLIMIT_FSIZE, &limit);
    }
    signal(SIGXFSZ, m_pSavedHandler);
}
