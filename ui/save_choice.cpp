#include "ui/save_choice.h"

#include <QFileDialog>
#include <QFileInfo>
#include <QLineEdit>

#include <functional>

#include "ui/save_name.h"

namespace {

QString Suffix(exports::ResultsForm form) {
    return QString::fromLatin1(exports::FormSuffix(form).data(),
                               qsizetype(exports::FormSuffix(form).size()));
}

QString FilterOf(exports::ResultsForm form) {
    switch (form) {
    case exports::ResultsForm::Table:
    case exports::ResultsForm::Report:
        return QStringLiteral("Results Files (*.%1)").arg(Suffix(form));
    case exports::ResultsForm::Workbook:
        return QStringLiteral("Excel Workbook (*.xlsx)");
    case exports::ResultsForm::Pdf:
        return QStringLiteral("PDF Report (*.pdf)");
    }
    return {};
}

// name with its suffix made that of form (added when it has none).
QString WithSuffix(const QString& name, exports::ResultsForm form) {
    const QString base = exports::FormOfPath(name.toStdString())
                             ? name.left(name.lastIndexOf(QLatin1Char('.')))
                             : name;
    return base + QLatin1Char('.') + Suffix(form);
}

} // namespace

QStringList ResultsNameFilters(bool tableKind) {
    using exports::ResultsForm;
    return ResultsNameFilters({tableKind ? ResultsForm::Table : ResultsForm::Report,
                               tableKind ? ResultsForm::Workbook : ResultsForm::Pdf});
}

QStringList ResultsNameFilters(const std::vector<exports::ResultsForm>& offered) {
    QStringList filters;
    for (exports::ResultsForm form : offered)
        filters << FilterOf(form);
    filters << QStringLiteral(" All Files (*.*)");
    return filters;
}

std::optional<exports::ResultsForm> FormOfFilter(const QString& filter) {
    using exports::ResultsForm;
    for (ResultsForm form :
         {ResultsForm::Table, ResultsForm::Report, ResultsForm::Workbook, ResultsForm::Pdf})
        if (filter == FilterOf(form))
            return form;
    return std::nullopt;
}

exports::ResultsForm FormOfChoice(bool tableKind, const QString& path, const QString& filter,
                                  exports::ResultsForm fallback) {
    const auto bySuffix = exports::FormOfPath(QFileInfo(path).fileName().toStdString());
    if (bySuffix && exports::IsTableKind(*bySuffix) == tableKind)
        return *bySuffix;
    const auto byFilter = FormOfFilter(filter);
    if (byFilter && exports::IsTableKind(*byFilter) == tableKind)
        return *byFilter;
    return fallback;
}

namespace {

struct DialogAnswer {
    QString path; // with the chosen filter's suffix added when it had none
    QString filter;
};

// The save dialog with filters, proposedForm's filter selected and
// proposedName in the name field. Another filter makes the typed name's
// suffix follow it (formOf tells a filter's form); none when cancelled.
std::optional<DialogAnswer>
RunSaveDialog(QWidget* pParent, const QStringList& filters,
              const std::function<std::optional<exports::ResultsForm>(const QString&)>& formOf,
              const QString& proposedFilter, const QString& proposedName,
              exports::ResultsForm proposedForm) {
    QFileDialog dialog(pParent);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    // Replacing a file is asked about once the suffix is on the name
    // (PickSavePath); a desktop's dialog would ask about the typed name.
    dialog.setOption(QFileDialog::DontConfirmOverwrite);
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setNameFilters(filters);
    dialog.selectNameFilter(proposedFilter);
    dialog.setDefaultSuffix(Suffix(proposedForm));
    dialog.selectFile(proposedName);
    QObject::connect(
        &dialog, &QFileDialog::filterSelected, &dialog, [&dialog, &formOf](const QString& f) {
            const auto form = formOf(f);
            if (!form)
                return;
            dialog.setDefaultSuffix(Suffix(*form));
            if (auto* pEdit = dialog.findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
                pEdit != nullptr && !pEdit->text().isEmpty())
                pEdit->setText(WithSuffix(pEdit->text(), *form));
        });
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return std::nullopt;
    return DialogAnswer{
        WithDefaultSuffix(dialog.selectedFiles().constFirst(), dialog.defaultSuffix()),
        dialog.selectedNameFilter()};
}

QString ExportFilterOf(exports::ResultsForm form) {
    switch (form) {
    case exports::ResultsForm::Workbook:
        return QStringLiteral("Книга Excel (*.xlsx)");
    case exports::ResultsForm::Pdf:
        return QStringLiteral("Отчёт PDF (*.pdf)");
    case exports::ResultsForm::Table:
        return QStringLiteral("Таблица (*.xls)");
    case exports::ResultsForm::Report:
        return QStringLiteral("Отчёт (*.doc)");
    }
    return {};
}

std::optional<exports::ResultsForm> FormOfExportFilter(const QString& filter) {
    using exports::ResultsForm;
    for (ResultsForm form :
         {ResultsForm::Workbook, ResultsForm::Pdf, ResultsForm::Table, ResultsForm::Report})
        if (filter == ExportFilterOf(form))
            return form;
    return std::nullopt;
}

} // namespace

std::optional<SaveChoice> RunResultsSaveDialog(QWidget* pParent, bool tableKind,
                                               const QString& proposedName,
                                               exports::ResultsForm proposedForm) {
    using exports::ResultsForm;
    return RunResultsSaveDialog(pParent,
                                {tableKind ? ResultsForm::Table : ResultsForm::Report,
                                 tableKind ? ResultsForm::Workbook : ResultsForm::Pdf},
                                proposedName, proposedForm);
}

std::optional<SaveChoice> RunResultsSaveDialog(QWidget* pParent,
                                               const std::vector<exports::ResultsForm>& offered,
                                               const QString& proposedName,
                                               exports::ResultsForm proposedForm) {
    const bool tableKind = exports::IsTableKind(proposedForm);
    const auto answer = RunSaveDialog(pParent, ResultsNameFilters(offered), FormOfFilter,
                                      FilterOf(proposedForm), proposedName, proposedForm);
    if (!answer)
        return std::nullopt;
    return SaveChoice{answer->path,
                      FormOfChoice(tableKind, answer->path, answer->filter, proposedForm)};
}

QStringList ExportNameFilters() {
    using exports::ResultsForm;
    return {ExportFilterOf(ResultsForm::Workbook), ExportFilterOf(ResultsForm::Pdf),
            ExportFilterOf(ResultsForm::Table), ExportFilterOf(ResultsForm::Report)};
}

SaveChoice ExportChoiceOf(const QString& path, const QString& filter,
                          exports::ResultsForm fallback) {
    if (const auto bySuffix = exports::FormOfPath(QFileInfo(path).fileName().toStdString()))
        return {path, *bySuffix};
    const exports::ResultsForm form = FormOfExportFilter(filter).value_or(fallback);
    return {path + QLatin1Char('.') + Suffix(form), form};
}

std::optional<SaveChoice> RunExportSaveDialog(QWidget* pParent, const QString& proposedName,
                                              exports::ResultsForm proposedForm) {
    const auto answer = RunSaveDialog(pParent, ExportNameFilters(), FormOfExportFilter,
                                      ExportFilterOf(proposedForm), proposedName, proposedForm);
    if (!answer)
        return std::nullopt;
    return ExportChoiceOf(answer->path, answer->filter, proposedForm);
}
