// The save dialog of the results file: the two forms of the check box's kind
// (the old one first, in its own filter text) and all files, the proposed
// name's suffix following the filter the user picks. The history window's
// export uses the same dialog with all four forms.
#pragma once

#include <QString>
#include <QStringList>
#include <optional>
#include <vector>

#include "exports/results_forms.h"

class QWidget;

// Filter entries for the kind: "Results Files (*.xls)", "Excel Workbook
// (*.xlsx)", " All Files (*.*)" for the table; .doc and "PDF Report (*.pdf)"
// for the report.
QStringList ResultsNameFilters(bool tableKind);
// The same for the forms offered, in their order, then all files.
QStringList ResultsNameFilters(const std::vector<exports::ResultsForm>& offered);

// The form a filter entry stands for; none for all files or an unknown text.
std::optional<exports::ResultsForm> FormOfFilter(const QString& filter);

// The form to write to path: its suffix when that is a form of the kind,
// otherwise the form of the filter, otherwise fallback.
exports::ResultsForm FormOfChoice(bool tableKind, const QString& path, const QString& filter,
                                  exports::ResultsForm fallback);

struct SaveChoice {
    QString path;
    exports::ResultsForm form;
};

// Runs the save dialog with proposedName (which carries proposedForm's suffix)
// and proposedForm's filter selected; none when cancelled. The dialog asks
// before an existing file is replaced.
std::optional<SaveChoice> RunResultsSaveDialog(QWidget* pParent, bool tableKind,
                                               const QString& proposedName,
                                               exports::ResultsForm proposedForm);
// The same offering only the forms given (those of one kind, old form first).
std::optional<SaveChoice> RunResultsSaveDialog(QWidget* pParent,
                                               const std::vector<exports::ResultsForm>& offered,
                                               const QString& proposedName,
                                               exports::ResultsForm proposedForm);

// The history window's export offers all four forms, under these filters.
QStringList ExportNameFilters();

// The export's file and form: the form of the name's suffix when it is one of
// the four, otherwise the filter's form (fallback for an unknown filter) with
// its suffix added to the name.
SaveChoice ExportChoiceOf(const QString& path, const QString& filter,
                          exports::ResultsForm fallback);

// The export's save dialog, as RunResultsSaveDialog with the four forms.
std::optional<SaveChoice> RunExportSaveDialog(QWidget* pParent, const QString& proposedName,
                                              exports::ResultsForm proposedForm);
