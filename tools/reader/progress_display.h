// What the reader shows on stderr: the link's status texts, messages and the
// download's progress. On a terminal the progress is one line redrawn in
// place; otherwise a plain line every tenth of the download.
#pragma once

#include <chrono>
#include <cstdio>
#include <string>

class ProgressDisplay {
public:
    // bTenths: off a terminal, a line every tenth of the download.
    ProgressDisplay(std::FILE* out, bool bTerminal, bool bTenths = true);

    // A line of its own (status text or message), UTF-8.
    void Line(const std::string& textUtf8);
    // A routine status (a request sent, a reply received): only shown on the
    // progress line of a terminal, as there is one pair per record.
    void Routine(const std::string& textUtf8);
    // Rate and time left count from here (the start of the download).
    void StartClock();
    void SetRange(int total);
    void SetDone(int done);
    // Ends the progress line so later output starts on a fresh line.
    void Finish();

private:
    void Draw();
    void ClearLine();

    std::FILE* m_pOut;
    bool m_bTerminal;
    bool m_bTenths;
    bool m_bLineShown = false;
    int m_nTotal = 0;
    int m_nDone = 0;
    int m_nLastReported = -1; // tenth last printed when not on a terminal
    std::string m_szRoutine;
    std::chrono::steady_clock::time_point m_startTime = std::chrono::steady_clock::now();
};
