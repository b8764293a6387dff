#include "ui/reader_dialog.h"

#include <QApplication>
#include <QCheckBox>
#include <QContextMenuEvent>
#include <QGroupBox>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMenu>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>

#include "dialog/resource_ids.h"
#include "ui/app_setup.h"
#include "ui/clock_panel.h"
#include "ui/dialog_units.h"
#include "ui/history_reasons.h"
#include "ui/record_spin.h"
#include "ui/save_choice.h"
#include "ui/save_name.h"
#include "ui/status_line.h"

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

ReaderDialog::ReaderDialog(QWidget* pParent) : QDialog(pParent), m_logic(*this) {
    InitIconResources();
    m_hIcon.addFile(QStringLiteral(":/icons/tarvex_32.xpm"), QSize(32, 32));
    m_hIcon.addFile(QStringLiteral(":/icons/tarvex_16.xpm"), QSize(16, 16));
    m_fnChooseSavePath = [this](const QString& szName, int) {
        return PickSavePath(
            szName,
            [this](const QString& szStart) {
                const auto choice =
                    RunResultsSaveDialog(this, m_offeredForms, szStart, m_chosenForm);
                if (!choice)
                    return QString();
                m_chosenForm = choice->form;
                return choice->path;
            },
            [this](const QString& szPath) { return ConfirmReplace(this, szPath); });
    };
    m_fnMessageBox = [](QWidget* pOwner, const QString& szText, QMessageBox::Icon icon) {
        QMessageBox box(icon, BoxTitle(), szText, QMessageBox::Ok, pOwner);
        box.exec();
    };
    m_fnAskSetAside = ::AskSetAsideDamagedHistory;
    CreateControls();
    InstallHistoryShortcut();
}

ReaderDialog::~ReaderDialog() {
    // QWidget's destructor hides the window and so moves the focus; by then
    // this is no longer a ReaderDialog, so the focus follower must be gone.
    disconnect(m_focusFollower);
    // Boxes the worker waits for are still shown, from inside the link's Stop.
    m_logic.Shutdown();
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
    SetControlId(pCountGroup, "IDC_COUNT_GROUP");
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

    connect(m_pReadButton, &QPushButton::clicked, this, [this] { m_logic.OnReadArchive(); });
    connect(m_pRecordEdit, &QLineEdit::textChanged, this,
            [this] { m_logic.OnChangeRecordCount(); });
    connect(m_pRecordSpin, &RecordSpin::Scrolled, this, [this] { m_logic.OnVScroll(); });
    connect(m_pExcel, &QCheckBox::clicked, this, [this] { m_logic.OnExcelClicked(); });
}

void ReaderDialog::showEvent(QShowEvent* pEvent) {
    if (!m_bInitialised) {
        m_bInitialised = true;
        m_logic.OnInitDialog();
        m_pReadButton->setFocus(Qt::OtherFocusReason);
        m_pReadButton->setDefault(true); // Enter presses it now
        if (QScreen* pScreen = screen())
            move(pScreen->availableGeometry().center() - rect().center());
    }
    QDialog::showEvent(pEvent);
}

void ReaderDialog::timerEvent(QTimerEvent* pEvent) {
    if (const auto it = m_timerIds.find(pEvent->timerId()); it != m_timerIds.end())
        m_logic.OnTimer(it->second);
    else
        QDialog::timerEvent(pEvent);
}

void ReaderDialog::done(int nResult) {
    m_logic.OnDestroy();
    QDialog::done(nResult);
}

void ReaderDialog::keyPressEvent(QKeyEvent* pEvent) {
    const bool bEnter = pEvent->key() == Qt::Key_Return || pEvent->key() == Qt::Key_Enter;
    if (bEnter && qobject_cast<QPushButton*>(focusWidget()) == nullptr) {
        accept(); // Enter with no push button focused ends the dialog
        return;
    }
    if (pEvent->key() == Qt::Key_F1 && pEvent->modifiers() == Qt::NoModifier) {
        m_logic.OnSysCommand(IDM_ABOUTBOX);
        return;
    }
    QDialog::keyPressEvent(pEvent);
}

void ReaderDialog::contextMenuEvent(QContextMenuEvent* pEvent) {
    // The window manager owns the title-bar menu, so the dialog offers its
    // own: the usual window commands, then the About entry.
    QMenu menu(this);
    menu.addAction(QStringLiteral("&Свернуть"), this,
                   [this] { m_logic.OnSysCommand(SC_MINIMIZE); });
    menu.addAction(QStringLiteral("&Закрыть"), this, [this] { m_logic.OnSysCommand(SC_CLOSE); });
    menu.addSeparator();
    QAction* pOnlyNew =
        menu.addAction(QStringLiteral("Только новые записи"), this,
                       [this](bool bChecked) { m_logic.SetOnlyNewRecords(bChecked); });
    pOnlyNew->setCheckable(true);
    pOnlyNew->setChecked(m_logic.OnlyNewRecords());
    menu.addAction(QStringLiteral("История измерений…\tCtrl+H"), this,
                   [this] { OnHistoryWindow(); });
    menu.addSeparator();
    menu.addAction(QStringLiteral("&About Вельмар-7К"), this,
                   [this] { m_logic.OnSysCommand(IDM_ABOUTBOX); });
    menu.exec(pEvent->globalPos());
}

QString ReaderDialog::StatusText() const {
    return m_pStatus->FullText();
}
