// The archive download: position, empty cells, then N records, one request
// and one reply at a time through the link's mailbox, then the closing frame
// and the results file. Shared by the dialog and the headless reader.
#pragma once

#include <cstdint>
#include <string>

class InstrumentLink;
struct ArchiveRecord;

// Download counters and the status suffix: process-wide, zero at start.
extern int16_t g_nRecordSlot;
extern int16_t g_nRequestIndex;
// Windows-1251 text shown behind every link status text; never cleared.
extern char g_szStatusSuffix[120];

// What the sequence needs of the front end that runs it (dialog or reader).
class DownloadHost {
public:
    virtual ~DownloadHost() = default;
    // N as the user has it now (read afresh at every step).
    virtual int RecordCount() = 0;
    // Modal box with a Windows-1251 text (the count refused at the click).
    virtual void ShowMessage(const std::string& textCp1251) = 0;
    virtual void SetProgressRange(int lower, int upper) = 0;
    virtual void SetProgressPos(int pos) = 0;
    // All nCount records are in g_records: ask for the path and write the file.
    virtual void WriteResultsFile(int nCount) = 0;
};

// Only new records: the download reads from the newest record back
// (position - 1, - 2, ...) one at a time, for as long as the scan wants more.
class RecordScan {
public:
    struct Plan {
        int limit = 2000;    // the most records to read, 1 to 2000
        int expected = 2000; // the likely number, for the progress bar
    };
    virtual ~RecordScan() = default;
    // The position reply came.
    virtual Plan StartScan(int position) = 0;
    // A record just read, newest first: false ends the scan with it.
    virtual bool ScanGoesOn(const ArchiveRecord& record) = 0;
};

class DownloadSequence {
public:
    DownloadSequence(InstrumentLink& link, DownloadHost& host);

    // The scan of the next download (taken at its start); null: the usual
    // download of the last N records. A scan's records reach
    // WriteResultsFile in slot order too, oldest first.
    void SetScan(RecordScan* scan) { m_pScan = scan; }
    // The archive position the running (or last) download was told.
    int Position() const { return m_nPosition; }

    // The Read-archive button.
    void OnReadArchive();
    // One WM_LINK_REPLY; bytes may be null when length is 0. Returns 0.
    int OnLinkReply(unsigned length, const uint8_t* bytes);

    // Reply time-out of every command of the download.
    int m_nReplyTimeout = 3000;

private:
    int SendCommand(int code, uint16_t parameter = 0);
    int CurrentCount();
    void OnPositionReply(const uint8_t* reply);
    void OnEmptyCellReply(const uint8_t* reply);
    void OnRecordReply(const uint8_t* reply);
    void OnScanRecordReply(const uint8_t* reply);
    void EndDownload(int nCount);

    InstrumentLink& m_link;
    DownloadHost& m_host;
    int m_nAcceptedCount = 100; // the count the running download was started with
    int m_bWriting = 0;         // WriteResultsFile is running (it may re-enter OnLinkReply)
    int m_nPosition = 0;
    RecordScan* m_pScan = nullptr;
    RecordScan* m_pRunningScan = nullptr; // the scan of the running download
    RecordScan::Plan m_scanPlan;
    bool m_bScanEnded = false; // a late record reply after the scan's end is not read
};
