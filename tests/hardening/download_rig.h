// One InstrumentLink driving a DownloadSequence in the test process, the way
// the dialog does: link posts go to a queue and the test thread hands each
// reply to the sequence. The host writes every finished download to its own
// file with the real results writer.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "archive/download_sequence.h"
#include "link/instrument_link.h"
#include "tests/support/queue_target.h"

class FileHost : public DownloadHost {
public:
    int m_nCount = 100;
    std::string m_szPath; // where the next WriteResultsFile writes
    int m_nWritten = 0;   // files written so far
    std::string m_szLastError;
    std::function<void(int)> m_onProgress; // called with each new progress position

    int RecordCount() override { return m_nCount; }
    void ShowMessage(const std::string& textCp1251) override { m_szLastError = textCp1251; }
    void SetProgressRange(int, int) override {}
    void SetProgressPos(int pos) override {
        if (m_onProgress)
            m_onProgress(pos);
    }
    void WriteResultsFile(int nCount) override;
};

class DownloadRig {
public:
    DownloadRig() : m_sequence(m_link, m_host) {}

    // Clicks Read-archive once the link is free and hands on link replies
    // until a file is written or the link gives up. Returns true when a file
    // was written; *pNoAnswers counts the give-ups seen (each is followed by
    // a fresh click, as a user would do) up to nMaxClicks clicks in all.
    bool Download(std::chrono::milliseconds limit, int nMaxClicks = 1, int* pNoAnswers = nullptr);
    // Hands on the events that arrive within limit, then returns.
    void Pump(std::chrono::milliseconds limit);

    QueueTarget m_target;
    InstrumentLink m_link;
    FileHost m_host;
    DownloadSequence m_sequence;
    std::vector<std::string> m_statuses; // the latest status texts, UTF-8

private:
    bool LinkFree() const;
    void Handle(const LinkEvent& event, int* pNoAnswers);
};

// Loads a simulator archive dump (56-byte cell block, 2000 records) into the
// store and writes the results file that a fault-free download of nCount
// records ending before nPosition would give. Leaves the store zeroed.
bool WriteExpectedFile(const std::string& dumpPath, int nPosition, int nCount,
                       const std::string& outPath);

std::string ReadWholeFile(const std::string& path);
// Entries of a /proc directory (for /proc/self/fd this includes the one
// open while listing, the same every time).
int CountEntries(const char* dir);
long ResidentKiB(); // VmRSS of this process
double ProcessCpuSeconds(); // user and system time of this process so far
