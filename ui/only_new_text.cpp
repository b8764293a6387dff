#include "ui/only_new_text.h"

CountBoxLook CountBoxLookFor(bool bOnlyNew, int nCount) {
    if (!bOnlyNew)
        return {QStringLiteral("Количество записей"), true, QString()};
    return {QStringLiteral("Только новые записи"), false,
            QStringLiteral("Читаются записи, появившиеся после прошлого чтения этого прибора; "
                           "число в поле (%1) их не ограничивает.\n"
                           "Режим выключается в контекстном меню (правая кнопка мыши).")
                .arg(nCount)};
}

QString OnlyNewDoneText(int nRead, bool bNewRange, bool bWritten,
                        const std::optional<history::MergeOutcome>& kept) {
    QString szText = bWritten ? QStringLiteral("Файл прочитан. ") : QString();
    // Short: the status line holds about 45 characters; the rest is its tooltip.
    szText +=
        (bNewRange ? QStringLiteral("Новых: %1") : QStringLiteral("Прочитано: %1")).arg(nRead);
    if (kept) {
        szText += QStringLiteral(", в историю: +%1").arg(kept->added);
        if (kept->known > 0)
            szText += QStringLiteral(" (%1 уже были)").arg(kept->known);
    } else {
        szText += QStringLiteral(", история не обновлена");
    }
    szText += bWritten ? QStringLiteral(".") : QStringLiteral("; файл не сохранён.");
    return szText;
}
