// The headless reader: finds the instrument, runs one download with the same
// sequence as the dialog and writes the results file. The link worker's
// posts are queued and handled on the thread that calls Run.
#pragma once

#include <string>

#include "archive/download_sequence.h"
#include "archive/results_writer.h"
#include "link/instrument_link.h"
#include "link/link_target.h"
#include "tools/reader/output_name.h"
#include "tools/reader/progress_display.h"
#include "tools/reader/reader_events.h"
#include "tools/reader/reader_history.h"
#include "tools/reader/reader_options.h"

class ArchiveReader : public LinkNotifyTarget, public DownloadHost {
public:
    ArchiveReader(const ReaderOptions& options, const OutputName& output, ProgressDisplay& display);

    // One whole run; returns the exit status.
    int Run();
    // What the run did, for its summary.
    int RecordsWritten() const { return m_nWritten; }
    bool NothingNew() const { return m_bNothingNew != 0; }
    const std::string& OutputPath() const { return m_szOutputPath; }
    // Ends the run as soon as the main thread sees it (any thread).
    void Interrupt() { m_events.Push({ReaderEvent::Interrupt, {}, {}}); }

    // LinkNotifyTarget: worker thread, queue only.
    void PostLinkReply(std::vector<uint8_t> reply) override;
    void PostLinkStatus(std::string textCp1251) override;
    // Boxes are shown as messages and dismissed at once.
    void RunMessageBox(std::string textCp1251, int style) override;

    // DownloadHost: main thread.
    int RecordCount() override { return m_nRecordCount; }
    void ShowMessage(const std::string& textCp1251) override;
    void SetProgressRange(int lower, int upper) override;
    void SetProgressPos(int pos) override;
    void WriteResultsFile(int nCount) override;

private:
    int WaitForInstrument();
    int Download();
    int DownloadOnce();
    // The device that names this instrument in the history.
    std::string Device();
    void AwaitClosingReply();
    void ShowStatus(const std::string& textCp1251);
    void Finish(int nPort);

    const ReaderOptions& m_options;
    OutputName m_output;
    std::string m_szOutputPath;
    ProgressDisplay& m_display;
    ReaderEventQueue m_events;
    InstrumentLink m_link;
    DownloadSequence m_sequence{m_link, *this};
    int m_nRecordCount; // N of the running download
    ReaderHistory m_history;
    int m_bWriteRan = 0;
    int m_bNothingNew = 0; // --new found nothing new: no file
    int m_nWritten = 0;
    WriteOutcome m_writeOutcome;
};
