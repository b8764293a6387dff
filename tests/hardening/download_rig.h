// One InstrumentLink driving a DownloadSequence in the test process, the way
// the dialog does: link posts go to a queue, the test thread hands each reply
// to the sequence, and every finished download goes through the real writer.
#pragma once

#include <chrono>
#include <functional>
#include <optional>
#include <string>
#include <utility>

#include "archive/download_sequence.h"
#include "link/instrument_link.h"
#include "tests/support/queue_target.h"
#include "tests/support/sim_process.h"

class DownloadRig : public DownloadHost {
public:
    explicit DownloadRig(int nCount = 100, int nReplyTimeout = 3000)
        : m_sequence(m_link, *this), m_nCount(nCount) {
        m_sequence.m_nReplyTimeout = nReplyTimeout;
    }

    int RecordCount() override { return m_nCount; }
    void ShowMessage(const std::string& textCp1251) override { m_szLastError = textCp1251; }
    void SetProgressRange(int, int) override {}
    void SetProgressPos(int pos) override { m_onProgress(pos); }
    void WriteResultsFile(int nCount) override;

    bool Start(); // on COM2
    // Clicks Read-archive whenever the link is free, up to nMaxClicks times (a
    // give-up is followed by a fresh click, as a user would do), and hands on
    // link events until a file is written (true) or limit passes.
    bool Download(std::chrono::milliseconds limit, int nMaxClicks = 1);
    void Pump(std::chrono::milliseconds limit); // hands on events for this long
    // Hands on events until done() holds (true) or limit passes (false).
    bool PumpUntil(const std::function<bool()>& done, std::chrono::milliseconds limit);

    QueueTarget m_target;
    InstrumentLink m_link;
    DownloadSequence m_sequence;
    int m_nCount, m_nWritten = 0, m_nNoAnswers = 0; // N, files written, give-ups seen
    std::string m_szPath, m_szLastError; // the next file; the writer's reason (empty: none)
    std::string m_szLastStatus;          // UTF-8
    std::optional<LinkEvent> m_lastBox;  // the worker's last message box
    std::function<void(int)> m_onProgress = [](int) {};

private:
    void Handle(const LinkEvent& event);
};

// The file that a fault-free download of nCount records before nPosition
// gives from the archive the simulator makes with simArgs; empty on failure.
std::string ExpectedFile(const TempDir& dir, const std::string& simArgs, int nPosition, int nCount);
// Descriptors and threads of this process.
std::pair<int, int> FdsAndThreads();
