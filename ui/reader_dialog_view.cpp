// The Qt side of what ReaderLogic asks of its window: controls by id, the
// boxes and the save dialog, the timer, and posting to the GUI thread.
#include <QAbstractButton>
#include <QCheckBox>
#include <QFile>
#include <QGroupBox>
#include <QGuiApplication>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>

#include "dialog/resource_ids.h"
#include "ui/about_dialog.h"
#include "ui/clock_panel.h"
#include "ui/reader_dialog.h"
#include "ui/record_spin.h"
#include "ui/status_line.h"

namespace {
QString Text(const std::string& utf8) {
    return QString::fromStdString(utf8);
}
} // namespace

QWidget* ReaderDialog::Control(int nId) const {
    switch (nId) {
    case IDC_READ_ARCHIVE:
        return m_pReadButton;
    case IDC_CLOCK:
        return m_pClock;
    case IDC_STATUS:
        return m_pStatus;
    case IDC_PROGRESS:
        return m_pProgress;
    case IDC_RECORD_COUNT:
        return m_pRecordEdit;
    case IDC_RECORD_SPIN:
        return m_pRecordSpin;
    case IDC_EXCEL:
        return m_pExcel;
    case IDC_COUNT_GROUP:
        return m_pCountGroup;
    default:
        return nullptr;
    }
}

void ReaderDialog::SetControlText(int nId, const std::string& text) {
    QWidget* pControl = Control(nId);
    if (auto* pEdit = qobject_cast<QLineEdit*>(pControl))
        pEdit->setText(Text(text));
    else if (auto* pGroup = qobject_cast<QGroupBox*>(pControl))
        pGroup->setTitle(Text(text));
    else if (auto* pButton = qobject_cast<QAbstractButton*>(pControl))
        pButton->setText(Text(text));
    else if (pControl == m_pStatus)
        m_pStatus->setText(Text(text));
}

std::string ReaderDialog::ControlText(int nId) {
    if (auto* pEdit = qobject_cast<QLineEdit*>(Control(nId)))
        return pEdit->text().toStdString();
    return {};
}

void ReaderDialog::EnableControl(int nId, bool bEnabled) {
    if (QWidget* pControl = Control(nId))
        pControl->setEnabled(bEnabled);
}

void ReaderDialog::SetControlChecked(int nId, bool bChecked) {
    if (auto* pButton = qobject_cast<QAbstractButton*>(Control(nId)))
        pButton->setChecked(bChecked);
}

void ReaderDialog::SetControlTip(int nId, const std::string& text) {
    if (QWidget* pControl = Control(nId))
        pControl->setToolTip(Text(text));
}

void ReaderDialog::SetSpinRange(int nLower, int nUpper) {
    m_pRecordSpin->SetRange(nLower, nUpper);
}

void ReaderDialog::SetSpinPos(int nPos) {
    m_pRecordSpin->SetPos(nPos);
}

int ReaderDialog::SpinPos() {
    return m_pRecordSpin->Pos();
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

void ReaderDialog::SetStatusText(const std::string& text) {
    m_pStatus->setText(Text(text));
}

void ReaderDialog::SetClock(const std::string& timeLine, const std::string& dateLine) {
    m_pClock->SetLines(Text(timeLine), Text(dateLine));
}

void ReaderDialog::ShowBox(const QString& szText, QMessageBox::Icon icon) {
    // Owned by the dialog while it is on screen; once closed, free-standing.
    QWidget* pOwner = isVisible() ? this : nullptr;
    if (m_fnMessageBox)
        m_fnMessageBox(pOwner, szText, icon);
}

void ReaderDialog::ShowMessageBox(const std::string& text, BoxIcon icon) {
    QMessageBox::Icon qIcon = QMessageBox::NoIcon;
    switch (icon) {
    case BoxIcon::None:
        break;
    case BoxIcon::Information:
        qIcon = QMessageBox::Information;
        break;
    case BoxIcon::Warning:
        qIcon = QMessageBox::Warning;
        break;
    case BoxIcon::Error:
        qIcon = QMessageBox::Critical;
        break;
    }
    ShowBox(Text(text), qIcon);
}

bool ReaderDialog::AskSetAsideDamagedHistory(const std::string& text) {
    return m_fnAskSetAside && m_fnAskSetAside(isVisible() ? this : nullptr, Text(text));
}

std::optional<SaveAnswer> ReaderDialog::ChooseSavePath(const SaveRequest& request) {
    // The dialog's filter choice lands in m_chosenForm; a replaced
    // m_fnChooseSavePath leaves the proposed form.
    m_offeredForms = request.offeredForms;
    m_chosenForm = request.proposedForm;
    const QString szPath = m_fnChooseSavePath ? m_fnChooseSavePath(Text(request.proposedName),
                                                                   request.tableKind ? 1 : 0)
                                              : QString();
    if (szPath.isEmpty())
        return std::nullopt;
    return SaveAnswer{QFile::encodeName(szPath).toStdString(), m_chosenForm};
}

void ReaderDialog::ShowAboutBox() {
    AboutDialog about(this);
    about.exec();
}

void ReaderDialog::SetWaitCursor(bool bBusy) {
    if (bBusy && !m_bWaitCursor)
        QGuiApplication::setOverrideCursor(Qt::WaitCursor);
    else if (!bBusy && m_bWaitCursor)
        QGuiApplication::restoreOverrideCursor();
    m_bWaitCursor = bBusy;
}

void ReaderDialog::Minimize() {
    showMinimized();
}

void ReaderDialog::Close() {
    reject();
}

void ReaderDialog::StartTimer(int nIdEvent, int nPeriodMs) {
    for (auto it = m_timerIds.begin(); it != m_timerIds.end(); ++it) {
        if (it->second == nIdEvent) {
            killTimer(it->first);
            m_timerIds.erase(it);
            break;
        }
    }
    m_timerIds[startTimer(nPeriodMs, Qt::PreciseTimer)] = nIdEvent;
}

void ReaderDialog::Post(std::function<void()> fn) {
    // Queued to this object: what is still queued when it is destroyed is
    // dropped by Qt without being run.
    QMetaObject::invokeMethod(this, std::move(fn), Qt::QueuedConnection);
}
