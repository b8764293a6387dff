// The results step of a download: the save dialog, the file in the form
// chosen, and what the status line says after it.
#include <ctime>

#include "archive/results_writer.h"
#include "dialog/dialog_texts.h"
#include "dialog/reader_logic.h"
#include "dialog/results_saving.h"

void ReaderLogic::WriteResultsFile(int nCount) {
    nCount = TakeHistoryRecords(nCount);
    if (nCount == 0)
        return; // nothing new: no file
    const bool bWritten = SaveResultsFile(nCount);
    // The records were read, whether the file was written or not.
    const std::optional<history::MergeOutcome> kept = MergeHistory(nCount);
    if (m_bOnlyNew && !HistoryPath().empty()) {
        // As the suffix, it stays on through the link's next status texts.
        const std::string done = OnlyNewDoneText(nCount, true, bWritten, kept);
        SetStatusSuffix(done);
        SetStatus(done);
    }
}

bool ReaderLogic::SaveResultsFile(int nCount) {
    const bool bTableKind = m_bExcelTable != 0;
    exports::ResultsForm& lastForm = m_lastForm[bTableKind ? 1 : 0];
    // The records stay in the store: after a failure the save dialog comes
    // again, so they can go to another place.
    for (;;) {
        // The proposed name carries the suffix of the form last chosen for the kind.
        SaveRequest request;
        request.proposedName = exports::ProposedName(lastForm, std::time(nullptr));
        request.tableKind = bTableKind;
        request.proposedForm = lastForm;
        request.offeredForms = OfferedForms(bTableKind);
        const std::optional<SaveAnswer> answer = m_view.ChooseSavePath(request);
        if (!answer || answer->path.empty())
            return false; // cancelled: nothing touched, nothing reported
        lastForm = ChosenForm(bTableKind, answer->path, answer->form);
        // A settings file that cannot be written costs nothing else.
        exports::RememberForm(lastForm);
        const exports::ExportContent content = exports::ContentOfStore(
            nCount, m_pLink ? m_pLink->Endpoint().Title() : std::string(), std::time(nullptr));
        const ResultsSaveOutcome outcome =
            SaveResultsAs(lastForm, content, answer->path, decimalSeparator());
        if (outcome.ok)
            break;
        // Status line and progress bar stay as they were.
        m_view.ShowMessageBox(outcome.failure, BoxIcon::Error);
    }
    SetStatusSuffix("Файл прочитан.");
    SetStatus("Файл прочитан.");
    m_view.SetProgressPos(0);
    return true;
}
