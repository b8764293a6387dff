// The dialog's side of the measurement history: "Только новые записи" and
// the merge of every download that reaches its results step. The history
// never costs a download: when it cannot be used the user is told so and
// the results file is written as ever.
#include <QFile>
#include <QGroupBox>
#include <QKeySequence>
#include <QLineEdit>
#include <QProgressBar>
#include <QShortcut>

#include <cstdio>

#include "history/history_care.h"
#include "history/history_path.h"
#include "platform/codepage.h"
#include "platform/serial_port.h"
#include "platform/user_settings.h"
#include "ui/history_reasons.h"
#include "ui/history_window.h"
#include "ui/only_new_text.h"
#include "ui/reader_dialog.h"
#include "ui/record_spin.h"
#include "ui/status_line.h"

namespace {

void SetSuffix(const char* pszUtf8) {
    const std::string text = Utf8ToCp1251(pszUtf8);
    std::snprintf(g_szStatusSuffix, sizeof g_szStatusSuffix, "%s", text.c_str());
}

} // namespace

void ReaderDialog::SetOnlyNewRecords(bool bOnlyNew) {
    m_bOnlyNew = bOnlyNew;
    ShowCountMode();
    SaveUserSetting(ONLY_NEW_KEY, bOnlyNew ? "1" : "0"); // unsaved, it holds for this run
}

void ReaderDialog::ShowCountMode() {
    const CountBoxLook look = CountBoxLookFor(m_bOnlyNew, m_nRecordCount);
    m_pCountGroup->setTitle(look.szTitle);
    for (QWidget* pControl :
         {static_cast<QWidget*>(m_pRecordEdit), static_cast<QWidget*>(m_pRecordSpin),
          static_cast<QWidget*>(m_pCountGroup)})
        pControl->setToolTip(look.szToolTip);
    m_pRecordEdit->setEnabled(look.bEnabled);
    m_pRecordSpin->setEnabled(look.bEnabled);
}

void ReaderDialog::InstallHistoryShortcut() {
    auto* pShortcut = new QShortcut(QKeySequence(Qt::CTRL | Qt::Key_H), this);
    connect(pShortcut, &QShortcut::activated, this, [this] { OnHistoryWindow(); });
}

std::string ReaderDialog::HistoryPath() const {
    if (m_bNoHistory)
        return {};
    return m_szHistoryPath.empty() ? history::defaultHistoryPath() : m_szHistoryPath;
}

void ReaderDialog::OnHistoryWindow() {
    // One window, kept while the dialog lives; shown again when asked.
    auto* pWindow = findChild<HistoryWindow*>();
    if (pWindow == nullptr)
        pWindow = new HistoryWindow(HistoryPath(), this);
    else
        pWindow->Reload(); // downloads may have added records
    pWindow->show();
    pWindow->raise();
    pWindow->activateWindow();
}

void ReaderDialog::PrepareHistory() {
    const int32_t state = m_pLink->m_nLinkState.load(std::memory_order_acquire);
    if (state != LINK_READY && state != LINK_NO_ANSWER)
        return; // the click is ignored; the running download keeps its session
    m_bHistoryProblemShown = false;
    // Only new records read back as far as the history lacks them; the
    // count is for the usual download.
    m_pHistory = std::make_unique<history::DownloadSession>(HistoryPath(), m_bOnlyNew);
    const auto failure = m_pHistory->prepare(m_pLink->Endpoint().device);
    m_sequence.SetScan(m_pHistory->scan());
    if (failure)
        ReportHistoryProblem(QStringLiteral("История измерений не читается, все записи от "
                                            "новейшей назад будут считаться новыми"),
                             *failure);
}

bool ReaderDialog::ReportHistoryProblem(const QString& szWhat,
                                        const history::HistoryFailure& failure) {
    if (m_bHistoryProblemShown)
        return false; // one box a download: the first said what to do
    m_bHistoryProblemShown = true;
    const std::string path = m_pHistory ? m_pHistory->path() : HistoryPath();
    const QString szText = HistoryProblemText(szWhat, failure.kind, path);
    if (failure.kind != history::Error::Kind::Corrupt) {
        ShowBox(szText, QMessageBox::Warning);
        return false;
    }
    if (!m_fnAskSetAside || !m_fnAskSetAside(isVisible() ? this : nullptr, szText))
        return false;
    try {
        const std::string aside = history::setAside(path);
        ShowBox(QStringLiteral(
                    "Повреждённый файл истории отложен:\n%1\nНачата новая история измерений.")
                    .arg(QFile::decodeName(aside.c_str())),
                QMessageBox::Information);
        return true;
    } catch (const history::Error& error) {
        ShowBox(QStringLiteral("Не удалось отложить файл истории: %1.\n\n%2")
                    .arg(HistoryReasonText(error.kind()), HistoryRemedyText(error.kind())),
                QMessageBox::Warning);
        return false;
    }
}

int ReaderDialog::TakeHistoryRecords(int nCount) {
    if (!m_pHistory)
        return nCount;
    nCount = m_pHistory->takeRecords(nCount);
    if (nCount == 0) {
        SetSuffix(" Новых записей нет.");
        m_pStatus->setText(QStringLiteral("Новых записей нет."));
        m_pProgress->setValue(0);
    }
    return nCount;
}

std::optional<history::MergeOutcome> ReaderDialog::MergeHistory(int nCount) {
    if (!m_pHistory)
        return std::nullopt;
    const LinkEndpoint endpoint = m_pLink->Endpoint();
    const int nPosition = m_sequence.Position();
    auto report = m_pHistory->merge(nCount, endpoint.port, endpoint.device, nPosition);
    // Set aside on the user's word: this download starts the new history.
    if (report && report->failure &&
        ReportHistoryProblem(QStringLiteral("История измерений не обновлена"), *report->failure))
        report = m_pHistory->merge(nCount, endpoint.port, endpoint.device, nPosition);
    const bool bMayHaveLost = m_pHistory->scanResult().mayHaveLost;
    m_sequence.SetScan(nullptr);
    m_pHistory.reset();
    if (bMayHaveLost)
        ShowBox(QStringLiteral("Все 2000 записей кольца прибора оказались новыми: записи, "
                               "сделанные до них, могли быть затёрты до этого чтения.\n"
                               "Считывайте архив не реже чем через каждые 2000 измерений "
                               "или по расписанию."),
                QMessageBox::Warning);
    return report ? report->outcome : std::nullopt;
}
