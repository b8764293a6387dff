#include "dialog/shared_history_text.h"

#include "dialog/dialog_texts.h"
#include "history/history_location.h"

namespace {

std::string Trimmed(const std::string& text) {
    const size_t first = text.find_first_not_of(" \t\n");
    const size_t last = text.find_last_not_of(" \t\n");
    return first == std::string::npos ? std::string() : text.substr(first, last - first + 1);
}

} // namespace

std::string SharedHistoryWaitText(const history::MergeReport& report) {
    const history::HistoryFailure& cause = *report.sharedFailure;
    const bool bRefused = history::refusedConnection(cause.kind);
    std::string text = bRefused ? "Сервер общей истории измерений отказал в подключении."
                                : "Общая история измерений недоступна.";
    text += "\nПричина: " + Trimmed(cause.message);
    if (report.failure) {
        // Nowhere to wait: the records are only in the results file.
        return text + "\n\nИстория этого компьютера тоже не обновлена: " +
               HistoryReasonText(report.failure->kind) + ".\n\n" +
               HistoryRemedyText(report.failure->kind);
    }
    text += "\n\nЧтение сохранено в истории этого компьютера и будет передано в общую историю "
            "при следующем чтении (или командой «tarvex-history push»)";
    text += bRefused ? ", когда подключение будет исправлено." : ", когда сервер будет доступен.";
    return text + "\n\n" + HistoryRemedyText(cause.kind) +
           "\n\nИстория этого компьютера: " + report.waitsIn;
}

std::string SharedHistoryPushedText(int nDownloads) {
    return "Чтения, ожидавшие на этом компьютере, переданы в общую историю измерений: " +
           std::to_string(nDownloads) + ".";
}
