#include "tests/e2e/reader_process.h"

#include <cstdlib>
#include <fstream>
#include <sys/wait.h>

#include "tests/support/sim_process.h"

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

// Through the shell, with every argument quoted: none holds a quote itself.
ReaderRun RunReader(const std::vector<std::string>& args, const std::string& directory,
                    unsigned limitSeconds, const std::string& historyPath) {
    const TempDir io;
    // Each run keeps its history in a throwaway file unless a test names one.
    std::string command = "cd '" + directory + "' && TARVEX_DATABASE='" +
                          (historyPath.empty() ? io.File("history.sqlite3") : historyPath) +
                          "' exec timeout -s KILL " + std::to_string(limitSeconds) +
                          " '" TARVEX_READ_PATH "'";
    for (const std::string& arg : args)
        command += " '" + arg + "'";
    command += " >'" + io.File("out") + "' 2>'" + io.File("err") + "'";
    const int wstatus = std::system(command.c_str());
    return {WIFEXITED(wstatus) ? WEXITSTATUS(wstatus) : -1, ReadFile(io.File("out")),
            ReadFile(io.File("err"))};
}
