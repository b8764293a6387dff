#include "ui/save_choice.h"

#include <QFileDialog>
#include <QFileInfo>
#include <QLineEdit>

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
    return {FilterOf(tableKind ? ResultsForm::Table : ResultsForm::Report),
            FilterOf(tableKind ? ResultsForm::Workbook : ResultsForm::Pdf),
            QStringLiteral(" All Files (*.*)")};
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

std::optional<SaveChoice> RunResultsSaveDialog(QWidget* pParent, bool tableKind,
                                               const QString& proposedName,
                                               exports::ResultsForm proposedForm) {
    QFileDialog dialog(pParent);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    // Replacing a file is asked about once the suffix is on the name
    // (PickSavePath); a desktop's dialog would ask about the typed name.
    dialog.setOption(QFileDialog::DontConfirmOverwrite);
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setNameFilters(ResultsNameFilters(tableKind));
    dialog.selectNameFilter(FilterOf(proposedForm));
    dialog.setDefaultSuffix(Suffix(proposedForm));
    dialog.selectFile(proposedName);
    // Another filter makes the typed name's suffix follow it.
    QObject::connect(&dialog, &QFileDialog::filterSelected, &dialog, [&dialog](const QString& f) {
        const auto form = FormOfFilter(f);
        if (!form)
            return;
        dialog.setDefaultSuffix(Suffix(*form));
        if (auto* pEdit = dialog.findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
            pEdit != nullptr && !pEdit->text().isEmpty())
            pEdit->setText(WithSuffix(pEdit->text(), *form));
    });
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return std::nullopt;
    const QString path =
        WithDefaultSuffix(dialog.selectedFiles().constFirst(), dialog.defaultSuffix());
    return SaveChoice{path,
                      FormOfChoice(tableKind, path, dialog.selectedNameFilter(), proposedForm)};
}
