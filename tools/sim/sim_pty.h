// The pseudo-terminal the instrument sits on.
#pragma once

#include <string>

struct PseudoTerminal {
    int m_nMasterFd = -1;
    // Held open and never read, so the master sees no hang-up whenever the
    // program under test closes its end.
    int m_nSlaveFd = -1;
    std::string m_szSlavePath;
};

// Opens a master (non-blocking) and its slave in raw mode without echo.
bool OpenPseudoTerminal(PseudoTerminal& pty, std::string& szError);
void ClosePseudoTerminal(PseudoTerminal& pty);
