// The dialog's side of the measurement history: the merge of every download
// that reaches its results step, and only the new records when the mode is
// on. The history never costs a download: when it cannot be used the user is
// told so and the results file is written as ever.
#include <utility>

#include "dialog/dialog_texts.h"
#include "dialog/reader_logic.h"
#include "dialog/shared_history_text.h"
#include "history/history_care.h"
#include "history/history_location.h"

std::string ReaderLogic::HistoryPath() const {
    if (m_bNoHistory)
        return {};
    return history::chooseHistory(m_szHistoryPath).location;
}

void ReaderLogic::PrepareHistory() {
    const int32_t state = m_pLink->m_nLinkState.load(std::memory_order_acquire);
    if (state != LINK_READY && state != LINK_NO_ANSWER)
        return; // the click is ignored; the running download keeps its session
    m_bHistoryProblemShown = false;
    // Only new records read back as far as the history lacks them; the
    // count is for the usual download.
    m_pHistory = std::make_unique<history::DownloadSession>(HistoryPath(), m_bOnlyNew);
    const auto failure = m_pHistory->prepare(m_pLink->Endpoint().device);
    m_sequence.SetScan(m_pHistory->scan());
    // Said after the download, with its own outcome, not in its way now.
    m_nPushedBeforeScan = m_pHistory->pushedBeforeScan().downloads;
    if (failure)
        ReportHistoryProblem("История измерений не читается, все записи от "
                             "новейшей назад будут считаться новыми",
                             *failure);
}

bool ReaderLogic::ReportHistoryProblem(const std::string& what,
                                       const history::HistoryFailure& failure) {
    if (m_bHistoryProblemShown)
        return false; // one box a download: the first said what to do
    m_bHistoryProblemShown = true;
    const std::string path = m_pHistory ? m_pHistory->path() : HistoryPath();
    const std::string text = HistoryProblemText(what, failure.kind, path);
    if (failure.kind != history::Error::Kind::Corrupt) {
        m_view.ShowMessageBox(text, BoxIcon::Warning);
        return false;
    }
    if (!m_view.AskSetAsideDamagedHistory(text))
        return false;
    try {
        const std::string aside = history::setAside(path);
        m_view.ShowMessageBox("Повреждённый файл истории отложен:\n" + aside +
                                  "\nНачата новая история измерений.",
                              BoxIcon::Information);
        return true;
    } catch (const history::Error& error) {
        m_view.ShowMessageBox(
            "Не удалось отложить файл истории: " + HistoryReasonText(error.kind()) + ".\n\n" +
                HistoryRemedyText(error.kind()),
            BoxIcon::Warning);
        return false;
    }
}

int ReaderLogic::TakeHistoryRecords(int nCount) {
    if (!m_pHistory)
        return nCount;
    nCount = m_pHistory->takeRecords(nCount);
    if (nCount == 0) {
        ShowPushed(std::exchange(m_nPushedBeforeScan, 0));
        SetStatusSuffix(" Новых записей нет.");
        SetStatus("Новых записей нет.");
        m_view.SetProgressPos(0);
    }
    return nCount;
}

std::optional<history::MergeOutcome> ReaderLogic::MergeHistory(int nCount) {
    if (!m_pHistory)
        return std::nullopt;
    const LinkEndpoint endpoint = m_pLink->Endpoint();
    const int nPosition = m_sequence.Position();
    auto report = m_pHistory->merge(nCount, endpoint.port, endpoint.device, nPosition);
    const int nPushed = std::exchange(m_nPushedBeforeScan, 0);
    if (report) {
        ShowPushed(nPushed + report->pushed.downloads);
        if (report->sharedFailure)
            m_view.ShowMessageBox(SharedHistoryWaitText(*report), BoxIcon::Warning);
    }
    // Set aside on the user's word: this download starts the new history.
    if (report && report->failure && !report->sharedFailure &&
        ReportHistoryProblem("История измерений не обновлена", *report->failure))
        report = m_pHistory->merge(nCount, endpoint.port, endpoint.device, nPosition);
    const bool bMayHaveLost = m_pHistory->scanResult().mayHaveLost;
    m_sequence.SetScan(nullptr);
    m_pHistory.reset();
    if (bMayHaveLost)
        m_view.ShowMessageBox("Все 2000 записей кольца прибора оказались новыми: записи, "
                              "сделанные до них, могли быть затёрты до этого чтения.\n"
                              "Считывайте архив не реже чем через каждые 2000 измерений "
                              "или по расписанию.",
                              BoxIcon::Warning);
    return report ? report->outcome : std::nullopt;
}

void ReaderLogic::ShowPushed(int nDownloads) {
    if (nDownloads > 0)
        m_view.ShowMessageBox(SharedHistoryPushedText(nDownloads), BoxIcon::Information);
}
