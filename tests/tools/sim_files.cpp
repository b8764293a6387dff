#include "sim_files.h"

#include <fcntl.h>
#include <fstream>
#include <iterator>
#include <sys/wait.h>
#include <unistd.h>

int RunSimToExit(const std::vector<std::string>& args) {
    const pid_t pid = fork();
    if (pid == 0) {
        const int nNull = open("/dev/null", O_WRONLY);
        dup2(nNull, STDOUT_FILENO);
        dup2(nNull, STDERR_FILENO);
        std::vector<std::string> copy = args;
        std::vector<char*> argv;
        std::string szPath = TARVEX_SIM_PATH;
        argv.push_back(szPath.data());
        for (auto& a : copy)
            argv.push_back(a.data());
        argv.push_back(nullptr);
        execv(szPath.c_str(), argv.data());
        _exit(127);
    }
    // A simulator that serves the line instead of exiting is caught by the test's time-out.
    int nStatus = 0;
    if (waitpid(pid, &nStatus, 0) != pid)
        return -1;
    return WIFEXITED(nStatus) ? WEXITSTATUS(nStatus) : -1;
}

Bytes ReadFileBytes(const std::string& szPath) {
    std::ifstream in(szPath, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::string ReadFileText(const std::string& szPath) {
    std::ifstream in(szPath, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}
