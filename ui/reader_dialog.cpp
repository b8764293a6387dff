#include "ui/reader_dialog.h"

#include <QApplication>
#include <QCheckBox>
#include <QContextMenuEvent>
#include <QFile>
#include <QGroupBox>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMenu>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>

#include "archive/results_writer.h"
#include "platform/codepage.h"
#include "platform/port_setting.h"
#include "platform/user_settings.h"
#include "ui/about_dialog.h"
#include "ui/app_setup.h"
#include "ui/clock_panel.h"
#include "dialog/clock_text.h"
#include "ui/dialog_units.h"
#include "ui/history_reasons.h"
#include "ui/link_events.h"
#include "ui/only_new_text.h"
#include "dialog/record_count_text.h"
#include "ui/record_spin.h"
#include "dialog/resource_ids.h"
#include "ui/results_saving.h"
#include "ui/save_choice.h"
#include "ui/save_name.h"
#include "ui/status_line.h"

int g_bFirstTick = 1;

// Resources of a static library must be registered by hand.
static void InitIconResources() {
#ifdef TARVEX_HAVE_ICONS
    Q_INIT_RESOURCE(tarvex);
#endif
}

namespace {
void SetControlId(QWidget* pWidget, const char* pszName) {
    pWidget->setObjectName(pszName);
}
} // namespace

ReaderDialog::ReaderDialog(QWidget* pParent)
    : QDialog(pParent), m_pLink(std::make_unique<InstrumentLink>()), m_sequence(*m_pLink, *this) {
    InitIconResources();
    m_hIcon.addFile(QStringLiteral(":/icons/tarvex_32.xpm"), QSize(32, 32));
    m_hIcon.addFile(QStringLiteral(":/icons/tarvex_16.xpm"), QSize(16, 16));
    m_bTraceStatus = std::getenv("TARVEX_TRACE_STATUS") != nullptr;
    m_fnStartLink = [this] { return m_pLink->Start(this); };
    m_fnChooseSavePath = [this](const QString& szName, int bExcel) {
        return PickSavePath(
            szName,
            [this, bExcel](const QString& szStart) { return ChooseSavePath(szStart, bExcel); },
            [this](const QString& szPath) { return ConfirmReplace(this, szPath); });
    };
    m_fnMessageBox = [](QWidget* pOwner, const QString& szText, QMessageBox::Icon icon) {
        QMessageBox box(icon, BoxTitle(), szText, QMessageBox::Ok, pOwner);
        box.exec();
    };
    m_fnAskSetAside = AskSetAsideDamagedHistory;
    CreateControls();
    m_bOnlyNew = LoadUserSetting(ONLY_NEW_KEY, "0") == "1";
    ShowCountMode();
    InstallHistoryShortcut();
}

ReaderDialog::~ReaderDialog() {
    // Posts that arrive while the link stops are no longer acted on; boxes the
    // worker waits for are still shown, from inside Stop.
    m_bClosing = true;
    // QWidget's destructor hides the window and so moves the focus; by then
    // this is no longer a ReaderDialog, so the focus follower must be gone.
    disconnect(m_focusFollower);
    if (m_pLink) {
        m_pLink->Stop();
        m_pLink.reset();
    }
    if (m_bWaitCursor)
        QGuiApplication::restoreOverrideCursor();
}

void ReaderDialog::CreateControls() {
    setWindowTitle(QStringLiteral("Вельмар-7К Программа чтения результатов"));
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                   Qt::WindowCloseButtonHint);
    setWindowIcon(m_hIcon);
    setSizeGripEnabled(false);

    const DialogUnits du(font());
    setFixedSize(du.Size(212, 134));

    // Created in template order, which is also the tab order.
    m_pReadButton = new QPushButton(QStringLiteral("Чтение архива"), this);
    m_pReadButton->setGeometry(du.Rect(117, 43, 81, 18));
    SetControlId(m_pReadButton, "IDC_READ_ARCHIVE");
    // Drawn as the default button only while Enter presses it, that is while
    // it has the focus; elsewhere Enter ends the dialog (keyPressEvent). The
    // focus may move while the window is inactive, with no focus events then,
    // so the look is brought in step whenever the application's focus moves,
    // which includes the window becoming active again.
    m_pReadButton->setAutoDefault(false);
    m_focusFollower = connect(qApp, &QApplication::focusChanged, this, [this] {
        m_pReadButton->setDefault(focusWidget() == m_pReadButton);
    });

    m_pClock = new ClockPanel(this);
    m_pClock->setGeometry(du.Rect(67, 4, 68, 23));
    SetControlId(m_pClock, "IDC_CLOCK");

    m_pStatus = new StatusLine(this);
    m_pStatus->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    m_pStatus->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    m_pStatus->setGeometry(du.Rect(3, 121, 205, 9));
    SetControlId(m_pStatus, "IDC_STATUS");

    m_pProgress = new QProgressBar(this);
    m_pProgress->setTextVisible(false);
    m_pProgress->reset(); // empty until a download sets the range
    m_pProgress->setGeometry(du.Rect(7, 99, 198, 11));
    SetControlId(m_pProgress, "IDC_PROGRESS");

    m_pRecordEdit = new QLineEdit(this);
    m_pRecordEdit->setGeometry(du.Rect(33, 48, 36, 12));
    SetControlId(m_pRecordEdit, "IDC_RECORD_COUNT");

    auto* pCountGroup = m_pCountGroup = new QGroupBox(QStringLiteral("Количество записей"), this);
    pCountGroup->setGeometry(du.Rect(17, 37, 81, 27));
    auto* pDoneGroup = new QGroupBox(QStringLiteral("Завершено"), this);
    pDoneGroup->setAlignment(Qt::AlignHCenter);
    pDoneGroup->setGeometry(du.Rect(3, 89, 205, 28));
    // The frames lie behind the controls they surround, not over them.
    for (QGroupBox* pGroup : {pCountGroup, pDoneGroup}) {
        pGroup->setFocusPolicy(Qt::NoFocus);
        pGroup->lower();
    }

    m_pRecordSpin = new RecordSpin(this);
    m_pRecordSpin->setGeometry(du.Rect(70, 48, 9, 11));
    SetControlId(m_pRecordSpin, "IDC_RECORD_SPIN");

    m_pExcel = new QCheckBox(QStringLiteral("Файл в форме таблицы (Excel)"), this);
    m_pExcel->setGeometry(du.Rect(16, 71, 139, 11));
    SetControlId(m_pExcel, "IDC_EXCEL");

    setTabOrder(m_pReadButton, m_pClock);
    setTabOrder(m_pClock, m_pRecordEdit);
    setTabOrder(m_pRecordEdit, m_pExcel);

    connect(m_pReadButton, &QPushButton::clicked, this, [this] { OnReadArchive(); });
    connect(m_pRecordEdit, &QLineEdit::textChanged, this, [this] { OnChangeRecordCount(); });
    connect(m_pRecordSpin, &RecordSpin::Scrolled, this, [this] { OnVScroll(); });
    connect(m_pExcel, &QCheckBox::clicked, this, [this] { OnExcelClicked(); });
}

void ReaderDialog::showEvent(QShowEvent* pEvent) {
    if (!m_bInitialised) {
        m_bInitialised = true;
        OnInitDialog();
        if (QScreen* pScreen = screen())
            move(pScreen->availableGeometry().center() - rect().center());
    }
    QDialog::showEvent(pEvent);
}

void ReaderDialog::OnInitDialog() {
    m_bInitialised = true;
    m_nPortNumber = LoadPortSetting();
    m_pLink->PortNumber(m_nPortNumber);
    m_pLink->SavedDevice(LoadDeviceSetting()); // tried before the saved port
    m_nClockTimerId = startTimer(CLOCK_PERIOD_MS, Qt::PreciseTimer);

    m_pRecordSpin->SetRange(RECORD_COUNT_MIN, RECORD_COUNT_MAX);
    m_nRecordCount = 100;
    m_pRecordSpin->SetPos(SpinPosFromCount(m_nRecordCount, RECORD_COUNT_MIN, RECORD_COUNT_MAX));
    m_bExcelTable = 0;
    m_pExcel->setChecked(false);
    m_pRecordEdit->setText(QString::number(static_cast<unsigned>(m_nRecordCount)));
    m_pReadButton->setFocus(Qt::OtherFocusReason);
    m_pReadButton->setDefault(true); // Enter presses it now
}

void ReaderDialog::timerEvent(QTimerEvent* pEvent) {
    if (pEvent->timerId() == m_nClockTimerId)
        OnTimer(CLOCK_TIMER_ID);
    else
        QDialog::timerEvent(pEvent);
}

void ReaderDialog::OnTimer(int nIdEvent) {
    if (nIdEvent != CLOCK_TIMER_ID)
        return;
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    const ClockLines lines = FormatClockLines(localtime_r(&now, &local));
    m_pClock->SetLines(QString::fromStdString(lines.time), QString::fromStdString(lines.date));

    if (g_bFirstTick == 1) {
        g_bFirstTick = 0;
        if (m_fnStartLink)
            m_fnStartLink(); // one attempt only; the result is not looked at
    }
}

void ReaderDialog::done(int nResult) {
    OnDestroy();
    QDialog::done(nResult);
}

void ReaderDialog::OnDestroy() {
    // Once per dialog: the port the link holds now, while its worker runs on.
    if (m_bDestroyed)
        return;
    m_bDestroyed = true;
    m_nPortNumber = m_pLink->PortNumber(-1);
    const int nSaved = SavePortSetting(m_nPortNumber);
    // The adapter where the instrument answered (or none, when it answered on
    // a COM port) is remembered beside the port number.
    if (const std::optional<std::string> adapter = m_pLink->DeviceToRemember())
        SaveDeviceSetting(*adapter);
    if (nSaved == 1)
        return;
    const int nError = errno;
    const QString szPath = QString::fromLocal8Bit(GetSettingsPath());
    ShowBox(QStringLiteral("Не удалось сохранить номер порта (COM%1) в файле настроек\n%2\n%3.\n"
                           "При следующем запуске поиск прибора начнётся с прежнего порта. "
                           "Разрешите запись в этот файл или запускайте программу из папки, "
                           "доступной для записи.")
                .arg(m_nPortNumber)
                .arg(szPath.isEmpty() ? QStringLiteral("Vextar.ini") : szPath,
                     QString::fromLocal8Bit(std::strerror(nError))),
            QMessageBox::Warning);
}

void ReaderDialog::keyPressEvent(QKeyEvent* pEvent) {
    const bool bEnter = pEvent->key() == Qt::Key_Return || pEvent->key() == Qt::Key_Enter;
    if (bEnter && qobject_cast<QPushButton*>(focusWidget()) == nullptr) {
        accept(); // Enter with no push button focused ends the dialog
        return;
    }
    if (pEvent->key() == Qt::Key_F1 && pEvent->modifiers() == Qt::NoModifier) {
        OnSysCommand(IDM_ABOUTBOX);
        return;
    }
    QDialog::keyPressEvent(pEvent);
}

void ReaderDialog::contextMenuEvent(QContextMenuEvent* pEvent) {
    // The window manager owns the title-bar menu, so the dialog offers its
    // own: the usual window commands, then the About entry.
    QMenu menu(this);
    menu.addAction(QStringLiteral("&Свернуть"), this, [this] { OnSysCommand(SC_MINIMIZE); });
    menu.addAction(QStringLiteral("&Закрыть"), this, [this] { OnSysCommand(SC_CLOSE); });
    menu.addSeparator();
    QAction* pOnlyNew = menu.addAction(QStringLiteral("Только новые записи"), this,
                                       [this](bool bChecked) { SetOnlyNewRecords(bChecked); });
    pOnlyNew->setCheckable(true);
    pOnlyNew->setChecked(m_bOnlyNew);
    menu.addAction(QStringLiteral("История измерений…\tCtrl+H"), this,
                   [this] { OnHistoryWindow(); });
    menu.addSeparator();
    menu.addAction(QStringLiteral("&About Вельмар-7К"), this,
                   [this] { OnSysCommand(IDM_ABOUTBOX); });
    menu.exec(pEvent->globalPos());
}

void ReaderDialog::OnSysCommand(unsigned nID) {
    switch (nID & 0xFFF0) {
    case IDM_ABOUTBOX: {
        AboutDialog about(this);
        about.exec();
        break;
    }
    case SC_MINIMIZE:
        showMinimized();
        break;
    case SC_CLOSE:
        reject();
        break;
    default:
        break;
    }
}

void ReaderDialog::OnChangeRecordCount() {
    m_nRecordCount = static_cast<int>(ParseUnsignedItemText(m_pRecordEdit->text().toStdString()));
    m_pRecordSpin->SetPos(SpinPosFromCount(m_nRecordCount, RECORD_COUNT_MIN, RECORD_COUNT_MAX));
    if (m_bOnlyNew)
        ShowCountMode(); // the tooltip names the count
}

void ReaderDialog::OnVScroll() {
    m_nRecordCount = m_pRecordSpin->Pos();
    // The edit's change handler reads the same value back.
    m_pRecordEdit->setText(QString::number(static_cast<unsigned>(m_nRecordCount)));
}

void ReaderDialog::OnExcelClicked() {
    m_bExcelTable ^= 1;
}

QString ReaderDialog::StatusText() const {
    return m_pStatus->FullText();
}

void ReaderDialog::OnReadArchive() {
    PrepareHistory();
    m_sequence.OnReadArchive();
}

// ---- Download host ----

void ReaderDialog::ShowBox(const QString& szText, QMessageBox::Icon icon) {
    // Owned by the dialog while it is on screen; once closed, free-standing.
    QWidget* pOwner = isVisible() ? this : nullptr;
    if (m_fnMessageBox)
        m_fnMessageBox(pOwner, szText, icon);
}

void ReaderDialog::ShowMessage(const std::string& textCp1251) {
    ShowBox(FromCp1251(textCp1251), QMessageBox::NoIcon);
}

// The bar keeps its position within the range, as a Windows progress bar
// does: Qt would empty it when the position falls outside, so that a count
// lowered below the records already read left the bar empty at the end.
void ReaderDialog::SetProgressRange(int nLower, int nUpper) {
    const int nPos = m_pProgress->value();
    const bool bShown = nPos >= m_pProgress->minimum(); // not in the reset, empty state
    m_pProgress->setRange(nLower, nUpper);
    if (bShown)
        m_pProgress->setValue(qBound(nLower, nPos, nUpper));
}

void ReaderDialog::SetProgressPos(int nPos) {
    m_pProgress->setValue(qBound(m_pProgress->minimum(), nPos, m_pProgress->maximum()));
}

QString ReaderDialog::ChooseSavePath(const QString& szProposedName, int bExcelTable) {
    exports::ResultsForm& lastForm = m_lastForm[bExcelTable ? 1 : 0];
    const auto choice = RunResultsSaveDialog(this, bExcelTable != 0, szProposedName, lastForm);
    if (!choice)
        return {};
    lastForm = choice->form;
    return choice->path;
}

void ReaderDialog::WriteResultsFile(int nCount) {
    nCount = TakeHistoryRecords(nCount);
    if (nCount == 0)
        return; // nothing new: no file
    const bool bWritten = SaveResultsFile(nCount);
    // The records were read, whether the file was written or not.
    const std::optional<history::MergeOutcome> kept = MergeHistory(nCount);
    if (m_bOnlyNew && !HistoryPath().empty()) {
        // As the suffix, it stays on through the link's next status texts.
        const QString szDone = OnlyNewDoneText(nCount, true, bWritten, kept);
        const std::string szSuffix = Utf8ToCp1251(szDone.toStdString());
        std::snprintf(g_szStatusSuffix, sizeof g_szStatusSuffix, "%s", szSuffix.c_str());
        m_pStatus->setText(szDone);
    }
}

bool ReaderDialog::SaveResultsFile(int nCount) {
    // The proposed name carries the suffix of the form last chosen for the kind.
    const bool bTableKind = m_bExcelTable != 0;
    exports::ResultsForm& lastForm = m_lastForm[bTableKind ? 1 : 0];
    const QString szProposed =
        QString::fromStdString(exports::ProposedName(lastForm, std::time(nullptr)));
    // The records stay in the store: after a failure the save dialog comes
    // again, so they can go to another place.
    for (;;) {
        const QString szPath =
            m_fnChooseSavePath ? m_fnChooseSavePath(szProposed, m_bExcelTable) : QString();
        if (szPath.isEmpty())
            return false; // cancelled: nothing touched, nothing reported
        lastForm = FormOfChoice(bTableKind, szPath, QString(), lastForm);
        // A settings file that cannot be written costs nothing else.
        exports::RememberForm(lastForm);
        const exports::ExportContent content = exports::ContentOfStore(
            nCount, m_pLink ? m_pLink->Endpoint().Title() : std::string(), std::time(nullptr));
        const ResultsSaveOutcome outcome =
            SaveResultsAs(lastForm, content, szPath, decimalSeparator());
        if (outcome.ok)
            break;
        // Status line and progress bar stay as they were.
        ShowBox(outcome.szFailure, QMessageBox::Critical);
    }
    const std::string szDone = Utf8ToCp1251("Файл прочитан.");
    std::snprintf(g_szStatusSuffix, sizeof g_szStatusSuffix, "%s", szDone.c_str());
    m_pStatus->setText(FromCp1251(szDone));
    m_pProgress->setValue(0);
    return true;
}
