#include "ui/history_filter.h"

#include <QRegularExpression>

#include "history/record_fields.h"

std::optional<history::Filter> ParseHistoryFilter(const HistoryFilterFields& fields,
                                                  QString& szProblem) {
    history::Filter filter;
    bool ok = true;
    if (const QString sz = fields.sample.trimmed(); !sz.isEmpty()) {
        filter.sample = sz.toInt(&ok);
        if (!ok || *filter.sample < 0 || *filter.sample > 65535)
            return szProblem = QStringLiteral("Номер пробы: целое число от 0 до 65535"),
                   std::nullopt;
    }
    if (const QString sz = fields.cell.trimmed(); !sz.isEmpty()) {
        filter.cell = sz.toInt(&ok);
        if (!ok || *filter.cell < 0 || *filter.cell > 255)
            return szProblem = QStringLiteral("Номер ячейки: целое число от 0 до 255"),
                   std::nullopt;
    }
    static const QRegularExpression dateForm(
        QStringLiteral("^(\\d{4}-\\d{2}-\\d{2}|\\d{2}\\.\\d{2}\\.\\d{4})$"));
    for (auto [pszText, pszName, bEnd] :
         {std::tuple{&fields.from, "с", false}, std::tuple{&fields.to, "по", true}}) {
        const QString sz = pszText->trimmed();
        if (sz.isEmpty())
            continue;
        const QString szField =
            QStringLiteral("Дата «%1» (%2)").arg(QString::fromUtf8(pszName), sz);
        if (!dateForm.match(sz).hasMatch())
            return szProblem = szField + QStringLiteral(": пишите ГГГГ-ММ-ДД или ДД.ММ.ГГГГ"),
                   std::nullopt;
        const auto minutes = history::parseDate(sz.toStdString(), bEnd);
        if (!minutes)
            return szProblem = szField + QStringLiteral(": такого дня нет в календаре"),
                   std::nullopt;
        (bEnd ? filter.to : filter.from) = minutes;
    }
    if (filter.from && filter.to && *filter.from > *filter.to)
        return szProblem = QStringLiteral("Дата «с» (%1) позже даты «по» (%2): записей между "
                                          "ними быть не может")
                               .arg(fields.from.trimmed(), fields.to.trimmed()),
               std::nullopt;
    return filter;
}
