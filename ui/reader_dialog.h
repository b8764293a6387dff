// The main dialog: the whole user interface. Holds the record count and the
// results form, owns the link, shows the clock, the status line and the
// download progress, and runs the archive download and the results write.
#pragma once

#include <QDialog>
#include <QIcon>
#include <QMessageBox>
#include <QString>

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "archive/download_sequence.h"
#include "exports/results_forms.h"
#include "history/download_session.h"
#include "link/instrument_link.h"
#include "link/link_target.h"
#include "dialog/worker_box_slot.h"

class ClockPanel;
class QCheckBox;
class QGroupBox;
class QLineEdit;
class QProgressBar;
class QPushButton;
class RecordSpin;
class StatusLine;

// The program's own setting that remembers "Только новые записи".
inline constexpr const char* ONLY_NEW_KEY = "OnlyNewRecords";

// 1 until the first clock tick has started the link.
extern int g_bFirstTick;

class ReaderDialog : public QDialog, public LinkNotifyTarget, public DownloadHost {
    Q_OBJECT
public:
    explicit ReaderDialog(QWidget* pParent = nullptr);
    ~ReaderDialog() override;

    // Handlers, named after the events they serve.
    void OnInitDialog();
    void OnTimer(int nIdEvent);
    void OnDestroy();
    void OnReadArchive();
    int OnLinkReply(unsigned nLength, const uint8_t* pBytes);
    int OnLinkStatus(const std::string& textCp1251);
    void OnChangeRecordCount();
    void OnVScroll();
    void OnExcelClicked();
    void OnSysCommand(unsigned nID);

    // LinkNotifyTarget: called on the worker thread, queued to this thread.
    void PostLinkReply(std::vector<uint8_t> reply) override;
    void PostLinkStatus(std::string textCp1251) override;
    void RunMessageBox(std::string textCp1251, int style) override;
    void ServeWhileStopping() override;
    void SetWaitCursor(bool bBusy) override;

    // DownloadHost.
    int RecordCount() override { return m_nRecordCount; }
    void ShowMessage(const std::string& textCp1251) override;
    void SetProgressRange(int nLower, int nUpper) override;
    void SetProgressPos(int nPos) override;
    void WriteResultsFile(int nCount) override;

    // Replaceable for tests: the save dialog (returns the chosen path, empty
    // for cancel), every message box, and the link start of the first tick.
    std::function<QString(const QString& szProposedName, int bExcelTable)> m_fnChooseSavePath;
    std::function<void(QWidget* pParent, const QString& szText, QMessageBox::Icon icon)>
        m_fnMessageBox;
    std::function<int()> m_fnStartLink;
    // The damaged-history box: true when the user chose to set the file
    // aside and start a new history.
    std::function<bool(QWidget* pParent, const QString& szText)> m_fnAskSetAside;

    // The status line's text, for tests and tracing.
    QString StatusText() const;
    // A box the worker waits for has not been shown yet.
    bool HasPendingWorkerBox() const { return m_boxSlot.IsPending(); }

    int m_nRecordCount = 0;
    int m_bExcelTable = 0;
    std::unique_ptr<InstrumentLink> m_pLink;
    RecordSpin* m_pRecordSpin = nullptr;
    int m_nPortNumber = 2;
    QIcon m_hIcon;

protected:
    bool event(QEvent* pEvent) override;
    void showEvent(QShowEvent* pEvent) override;
    void timerEvent(QTimerEvent* pEvent) override;
    void keyPressEvent(QKeyEvent* pEvent) override;
    void contextMenuEvent(QContextMenuEvent* pEvent) override;

public:
    void done(int nResult) override;

    // The measurement history (reader_dialog_history.cpp): only new records,
    // remembered in the program's own settings, and the merge of each download.
    bool OnlyNewRecords() const { return m_bOnlyNew; }
    void SetOnlyNewRecords(bool bOnlyNew);
    // "История измерений…" (context menu, Ctrl+H): the history window.
    void OnHistoryWindow();
    std::string m_szHistoryPath; // empty: $TARVEX_DATABASE or the default file
    bool m_bNoHistory = false;   // leave the history alone this run

private:
    void InstallHistoryShortcut();
    std::string HistoryPath() const;
    void PrepareHistory();
    int TakeHistoryRecords(int nCount);
    // The history's outcome; none when there is no history or it failed.
    std::optional<history::MergeOutcome> MergeHistory(int nCount);
    // The one box of a download about a history problem; true when the
    // damaged file was set aside (the next merge starts a new history).
    bool ReportHistoryProblem(const QString& szWhat, const history::HistoryFailure& failure);
    // The count box as the only-new mode has it (only_new_text.h).
    void ShowCountMode();
    // False when the save dialog was cancelled.
    bool SaveResultsFile(int nCount);
    void CreateControls();
    QString ChooseSavePath(const QString& szProposedName, int bExcelTable);
    void ShowBox(const QString& szText, QMessageBox::Icon icon);
    void ServeWorkerBox();

    DownloadSequence m_sequence;
    // The form last chosen for each kind: [0] the report kind, [1] the table kind.
    bool m_bOnlyNew = false;
    std::unique_ptr<history::DownloadSession> m_pHistory;
    bool m_bHistoryProblemShown = false; // this download has had its box
    exports::ResultsForm m_lastForm[2] = {exports::RememberedForm(false),
                                          exports::RememberedForm(true)};
    WorkerBoxSlot m_boxSlot;
    QPushButton* m_pReadButton = nullptr;
    ClockPanel* m_pClock = nullptr;
    StatusLine* m_pStatus = nullptr;
    QProgressBar* m_pProgress = nullptr;
    QLineEdit* m_pRecordEdit = nullptr;
    QGroupBox* m_pCountGroup = nullptr;
    QCheckBox* m_pExcel = nullptr;
    int m_nClockTimerId = 0;
    bool m_bInitialised = false;
    bool m_bDestroyed = false;
    bool m_bClosing = false;
    QMetaObject::Connection m_focusFollower; // keeps the default look in step with the focus
    bool m_bWaitCursor = false;
    bool m_bTraceStatus = false;
};
