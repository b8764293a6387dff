// Writing the results to the path chosen in the save dialog: whether a file
// there may be replaced, and the text of the box when it cannot be written.
#pragma once

#include <QString>

#include "exports/results_forms.h"

struct ResultsSaveOutcome {
    bool ok = false;
    QString szFailure; // the box's text when not ok
};

// Writes content in form at szPath, never leaving a cut file: on any failure
// the file there is as it was. A file present now was confirmed for
// replacing by the save dialog; a name that is free now is never taken from
// a file that appears before the write ends. A folder that cannot take the
// file is found before anything is written.
ResultsSaveOutcome SaveResultsAs(exports::ResultsForm form, const exports::ExportContent& content,
                                 const QString& szPath, char separator);
