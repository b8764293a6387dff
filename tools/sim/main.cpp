// tarvex-sim: the oil-test instrument on a pseudo-terminal, for trying the
// program and for tests without the real device.
#include "sim_archive.h"
#include "sim_options.h"
#include "sim_pty.h"
#include "sim_run.h"

#include <cstdio>
#include <fcntl.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// Points szLinkPath at the device, replacing an older symbolic link there.
bool MakeDeviceLink(const std::string& szLinkPath, const std::string& szDevice) {
    struct stat st {};
    if (lstat(szLinkPath.c_str(), &st) == 0 && !S_ISLNK(st.st_mode)) {
        std::fprintf(stderr, "tarvex-sim: %s exists and is not a symbolic link\n",
                     szLinkPath.c_str());
        return false;
    }
    const std::string szTemp = szLinkPath + ".tarvex-sim-" + std::to_string(getpid());
    unlink(szTemp.c_str());
    if (symlink(szDevice.c_str(), szTemp.c_str()) != 0 ||
        rename(szTemp.c_str(), szLinkPath.c_str()) != 0) {
        std::perror(("tarvex-sim: cannot link " + szLinkPath).c_str());
        unlink(szTemp.c_str());
        return false;
    }
    return true;
}

// Removes the link only if it still leads to this simulator's device.
void RemoveDeviceLink(const std::string& szLinkPath, const std::string& szDevice) {
    char target[4096];
    const ssize_t n = readlink(szLinkPath.c_str(), target, sizeof target - 1);
    if (n > 0 && std::string(target, static_cast<size_t>(n)) == szDevice)
        unlink(szLinkPath.c_str());
}

} // namespace

int main(int argc, char** argv) {
    SimOptions options;
    std::string szError;
    if (!ParseSimOptions(argc, argv, options, szError)) {
        std::fprintf(stderr, "tarvex-sim: %s\n%s", szError.c_str(), SIM_USAGE);
        return 2;
    }
    if (options.m_bHelp) {
        std::fputs(SIM_USAGE, stdout);
        return 0;
    }
    SimArchive archive;
    if (!options.m_szArchivePath.empty()) {
        if (!LoadArchive(options.m_szArchivePath, archive, szError)) {
            std::fprintf(stderr, "tarvex-sim: %s\n", szError.c_str());
            return 2;
        }
    } else {
        archive = GenerateArchive(options.m_nSeed);
    }
    // A stretch of equal records, as an erased or unfilled archive has.
    for (int i = options.m_nSameFirst + 1; options.m_nSameFirst >= 0 && i <= options.m_nSameLast;
         ++i)
        archive.m_records[i] = archive.m_records[options.m_nSameFirst];
    if (!options.m_szDumpPath.empty()) {
        if (!SaveArchive(options.m_szDumpPath, archive, szError)) {
            std::fprintf(stderr, "tarvex-sim: %s\n", szError.c_str());
            return 1;
        }
        return 0;
    }

    int nLogFd = -1;
    if (!options.m_szLogPath.empty()) {
        nLogFd = open(options.m_szLogPath.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
        if (nLogFd < 0) {
            std::perror(("tarvex-sim: cannot open log " + options.m_szLogPath).c_str());
            return 2;
        }
    }
    PseudoTerminal pty;
    if (!OpenPseudoTerminal(pty, szError)) {
        std::fprintf(stderr, "tarvex-sim: %s\n", szError.c_str());
        return 1;
    }
    if (!options.m_szLinkPath.empty() && !MakeDeviceLink(options.m_szLinkPath, pty.m_szSlavePath))
        return 2;
    std::printf("%s\n", pty.m_szSlavePath.c_str());
    std::fflush(stdout);

    const int nResult = RunSimulator(options, archive, pty, nLogFd);

    if (!options.m_szLinkPath.empty())
        RemoveDeviceLink(options.m_szLinkPath, pty.m_szSlavePath);
    ClosePseudoTerminal(pty);
    if (nLogFd >= 0)
        close(nLogFd);
    return nResult;
}
