// The results file of a download: which forms the save dialog offers, which
// form the user's choice stands for, and writing it, with the box's text
// when it cannot be written.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "exports/results_forms.h"

// The forms of the check box's kind this build writes: the old one first.
std::vector<exports::ResultsForm> OfferedForms(bool tableKind);
// The form of the kind chosen last time, when this build writes it;
// otherwise the kind's old form.
exports::ResultsForm OfferedForm(bool tableKind);

// The form to write to path: its suffix when that is a form of the kind
// this build writes, otherwise the filter's form when it is one, otherwise
// the kind's old form.
exports::ResultsForm ChosenForm(bool tableKind, const std::string& path,
                                exports::ResultsForm filterForm);

struct ResultsSaveOutcome {
    bool ok = false;
    std::string failure; // the box's text (UTF-8) when not ok
};

// Writes content in form at path, never leaving a cut file: on any failure
// the file there is as it was. A file present now was confirmed for
// replacing by the save dialog; a name that is free now is never taken from
// a file that appears before the write ends. A folder that cannot take the
// file is found before anything is written. path: as the core's file
// functions take it; shown in the box as it is.
ResultsSaveOutcome SaveResultsAs(exports::ResultsForm form, const exports::ExportContent& content,
                                 const std::string& path, char separator);
