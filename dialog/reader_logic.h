// What the main dialog does on each of its events, whatever window shows it:
// it holds the record count and the results form, owns the link, feeds the
// clock, the status line and the progress bar, runs the archive download and
// writes the results file, keeps the measurement history and the only-new
// mode. The Qt dialog and the native Windows dialog are views over it
// (dialog_view.h); everything here runs on the view's thread except the
// LinkNotifyTarget calls, which only post to it.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "archive/download_sequence.h"
#include "dialog/dialog_view.h"
#include "dialog/worker_box_slot.h"
#include "exports/results_forms.h"
#include "history/download_session.h"
#include "link/instrument_link.h"
#include "link/link_target.h"

// The program's own setting that remembers "Только новые записи".
inline constexpr const char* ONLY_NEW_KEY = "OnlyNewRecords";

// 1 until the first clock tick has started the link.
extern int g_bFirstTick;

class ReaderLogic : public LinkNotifyTarget, public DownloadHost {
public:
    // The view outlives the logic. Nothing is asked of the view here: the
    // window is set up in OnInitDialog.
    explicit ReaderLogic(DialogView& view);
    // Stops the link (Shutdown).
    ~ReaderLogic() override;
    ReaderLogic(const ReaderLogic&) = delete;
    ReaderLogic& operator=(const ReaderLogic&) = delete;

    // ---- Handlers, named after the events they serve (view thread) ----
    // The window and its controls exist: count 100, form box clear, the
    // only-new look, the port loaded, the clock timer started.
    void OnInitDialog();
    // Timer nIdEvent ticked: the clock; the first tick starts the link.
    void OnTimer(int nIdEvent);
    // The window is being closed (once; more calls do nothing): the port
    // where the link is now is saved, and a failure to save it is reported.
    void OnDestroy();
    // The Read-archive button.
    void OnReadArchive();
    // A reply the worker posted (bytes null when nLength is 0). Returns 0.
    int OnLinkReply(unsigned nLength, const uint8_t* pBytes);
    // A status text the worker posted: shown followed by g_szStatusSuffix.
    int OnLinkStatus(const std::string& textCp1251);
    // The count edit's text changed (also when set by the logic).
    void OnChangeRecordCount();
    // The arrows moved.
    void OnVScroll();
    // The form check box was clicked (it ticks itself).
    void OnExcelClicked();
    // A window-menu command (id with its low four bits as given): the About
    // box, minimise, close. False: not one of these, the view's default.
    bool OnSysCommand(unsigned nID);

    // "Только новые записи", remembered in the program's own settings.
    bool OnlyNewRecords() const { return m_bOnlyNew; }
    void SetOnlyNewRecords(bool bOnlyNew);
    // The history file this dialog uses; empty with m_bNoHistory.
    std::string HistoryPath() const;

    // Stops the link, showing any box its worker waits on; later posts are
    // not acted on. Once; the destructor calls it. The view calls it before
    // it goes away when its window may still be asked for boxes.
    void Shutdown();
    // A box the worker waits for has not been shown yet.
    bool HasPendingWorkerBox() const { return m_boxSlot.IsPending(); }
    // The status line's whole text as last set (UTF-8).
    const std::string& StatusText() const { return m_szStatus; }

    // ---- LinkNotifyTarget: worker thread, each only posts to the view ----
    void PostLinkReply(std::vector<uint8_t> reply) override;
    void PostLinkStatus(std::string textCp1251) override;
    void RunMessageBox(std::string textCp1251, int style) override;
    void ServeWhileStopping() override;
    void SetWaitCursor(bool bBusy) override;

    // ---- DownloadHost (view thread) ----
    int RecordCount() override { return m_nRecordCount; }
    void ShowMessage(const std::string& textCp1251) override;
    void SetProgressRange(int nLower, int nUpper) override;
    void SetProgressPos(int nPos) override;
    void WriteResultsFile(int nCount) override;

    int m_nRecordCount = 0;
    int m_bExcelTable = 0;
    std::unique_ptr<InstrumentLink> m_pLink;
    int m_nPortNumber = 2;
    // The link start of the first tick; replaceable for tests.
    std::function<int()> m_fnStartLink;
    std::string m_szHistoryPath; // empty: $TARVEX_DATABASE, the settings, or this PC's file
    bool m_bNoHistory = false;   // leave the history alone this run

private:
    void ShowCountMode();
    void SetStatus(const std::string& utf8);
    void SetStatusSuffix(const std::string& utf8);
    void ServeWorkerBox();
    // Results file (reader_logic_save.cpp); false when the save dialog was cancelled.
    bool SaveResultsFile(int nCount);
    // History (reader_logic_history.cpp).
    void PrepareHistory();
    int TakeHistoryRecords(int nCount);
    std::optional<history::MergeOutcome> MergeHistory(int nCount);
    bool ReportHistoryProblem(const std::string& what, const history::HistoryFailure& failure);
    // Downloads that had waited on this PC went to the shared history.
    void ShowPushed(int nDownloads);

    DialogView& m_view;
    DownloadSequence m_sequence;
    WorkerBoxSlot m_boxSlot;
    std::string m_szStatus;
    bool m_bOnlyNew = false;
    std::unique_ptr<history::DownloadSession> m_pHistory;
    bool m_bHistoryProblemShown = false; // this download has had its box
    int m_nPushedBeforeScan = 0;         // sent when the only-new scan opened the shared history
    // The form last chosen for each kind: [0] the report kind, [1] the table kind.
    exports::ResultsForm m_lastForm[2];
    bool m_bDestroyed = false;
    bool m_bClosing = false;
    bool m_bTraceStatus = false;
};
