// The main dialog's Qt window: a view over ReaderLogic (dialog/reader_logic.h),
// which decides what each event does. This class makes the controls, hands
// their events to the logic and shows what the logic gives it.
#pragma once

#include <QDialog>
#include <QIcon>
#include <QMessageBox>
#include <QString>

#include <functional>
#include <map>
#include <vector>

#include "dialog/dialog_view.h"
#include "dialog/reader_logic.h"

class ClockPanel;
class QCheckBox;
class QGroupBox;
class QLineEdit;
class QProgressBar;
class QPushButton;
class RecordSpin;
class StatusLine;

class ReaderDialog : public QDialog, public DialogView {
    Q_OBJECT
public:
    explicit ReaderDialog(QWidget* pParent = nullptr);
    ~ReaderDialog() override;

    // The dialog's state and handlers.
    ReaderLogic& Logic() { return m_logic; }

    // Replaceable for tests: the save dialog (returns the chosen path, empty
    // for cancel; it asks before a file is replaced), every message box, and
    // the damaged-history box (true when the user chose to set the file
    // aside and start a new history).
    std::function<QString(const QString& szProposedName, int bExcelTable)> m_fnChooseSavePath;
    std::function<void(QWidget* pParent, const QString& szText, QMessageBox::Icon icon)>
        m_fnMessageBox;
    std::function<bool(QWidget* pParent, const QString& szText)> m_fnAskSetAside;

    // The status line's whole text, for tests.
    QString StatusText() const;

    // "История измерений…" (context menu, Ctrl+H): the history window.
    void OnHistoryWindow();

    RecordSpin* m_pRecordSpin = nullptr;
    QIcon m_hIcon;

    // ---- DialogView ----
    void SetControlText(int nId, const std::string& text) override;
    std::string ControlText(int nId) override;
    void EnableControl(int nId, bool bEnabled) override;
    void SetControlChecked(int nId, bool bChecked) override;
    void SetControlTip(int nId, const std::string& text) override;
    void SetSpinRange(int nLower, int nUpper) override;
    void SetSpinPos(int nPos) override;
    int SpinPos() override;
    void SetProgressRange(int nLower, int nUpper) override;
    void SetProgressPos(int nPos) override;
    void SetStatusText(const std::string& text) override;
    void SetClock(const std::string& timeLine, const std::string& dateLine) override;
    void ShowMessageBox(const std::string& text, BoxIcon icon) override;
    bool AskSetAsideDamagedHistory(const std::string& text) override;
    std::optional<SaveAnswer> ChooseSavePath(const SaveRequest& request) override;
    void ShowAboutBox() override;
    void SetWaitCursor(bool bBusy) override;
    void Minimize() override;
    void Close() override;
    void StartTimer(int nIdEvent, int nPeriodMs) override;
    void Post(std::function<void()> fn) override;

    void done(int nResult) override;

protected:
    void showEvent(QShowEvent* pEvent) override;
    void timerEvent(QTimerEvent* pEvent) override;
    void keyPressEvent(QKeyEvent* pEvent) override;
    void contextMenuEvent(QContextMenuEvent* pEvent) override;

private:
    void CreateControls();
    void InstallHistoryShortcut();
    QWidget* Control(int nId) const;
    void ShowBox(const QString& szText, QMessageBox::Icon icon);

    QPushButton* m_pReadButton = nullptr;
    ClockPanel* m_pClock = nullptr;
    StatusLine* m_pStatus = nullptr;
    QProgressBar* m_pProgress = nullptr;
    QLineEdit* m_pRecordEdit = nullptr;
    QGroupBox* m_pCountGroup = nullptr;
    QCheckBox* m_pExcel = nullptr;
    std::map<int, int> m_timerIds; // Qt's timer id -> the logic's
    // The save dialog in progress: the forms offered and the one chosen.
    std::vector<exports::ResultsForm> m_offeredForms;
    exports::ResultsForm m_chosenForm = exports::ResultsForm::Report;
    bool m_bInitialised = false;
    QMetaObject::Connection m_focusFollower; // keeps the default look in step with the focus
    bool m_bWaitCursor = false;
    // Declared last: the first member to go, so the link stops before the rest.
    ReaderLogic m_logic;
};
