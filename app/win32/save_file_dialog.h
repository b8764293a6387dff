// The save dialog of the results file: the common dialog with the forms
// the logic offers as its filters.
#pragma once

#include <optional>
#include <string>

#include "dialog/dialog_view.h"

struct HWND__;

// "Results Files (*.xls)" and the like: the filter's text for form.
std::wstring FilterText(exports::ResultsForm form);

// Runs the dialog until a name is chosen that is free or that the user
// agrees to replace; none when cancelled.
std::optional<SaveAnswer> RunSaveFileDialog(HWND__* hOwner, const SaveRequest& request);
