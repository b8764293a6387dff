#include "sim_pty.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

bool OpenPseudoTerminal(PseudoTerminal& pty, std::string& szError) {
    pty.m_nMasterFd = posix_openpt(O_RDWR | O_NOCTTY);
    if (pty.m_nMasterFd < 0 || grantpt(pty.m_nMasterFd) != 0 || unlockpt(pty.m_nMasterFd) != 0) {
        szError = std::string("cannot open a pseudo-terminal: ") + std::strerror(errno);
        return false;
    }
    const char* pName = ptsname(pty.m_nMasterFd);
    if (pName == nullptr) {
        szError = std::string("ptsname failed: ") + std::strerror(errno);
        return false;
    }
    pty.m_szSlavePath = pName;
    pty.m_nSlaveFd = open(pName, O_RDWR | O_NOCTTY);
    if (pty.m_nSlaveFd < 0) {
        szError = "cannot open " + pty.m_szSlavePath + ": " + std::strerror(errno);
        return false;
    }
    termios tio{};
    if (tcgetattr(pty.m_nSlaveFd, &tio) == 0) {
        cfmakeraw(&tio);
        cfsetispeed(&tio, B9600);
        cfsetospeed(&tio, B9600);
        tcsetattr(pty.m_nSlaveFd, TCSANOW, &tio);
    }
    const int nFlags = fcntl(pty.m_nMasterFd, F_GETFL);
    fcntl(pty.m_nMasterFd, F_SETFL, nFlags | O_NONBLOCK);
    return true;
}

void ClosePseudoTerminal(PseudoTerminal& pty) {
    if (pty.m_nSlaveFd >= 0)
        close(pty.m_nSlaveFd);
    if (pty.m_nMasterFd >= 0)
        close(pty.m_nMasterFd);
    pty.m_nSlaveFd = pty.m_nMasterFd = -1;
}
