// The results file's name as it will be written, and the question before an
// existing file is replaced. The question is asked here, about the name with
// its type added, rather than by the save dialog: a desktop's own dialog asks
// about the name as typed, before the type is added.
#pragma once

#include <QString>

#include <functional>

class QWidget;

// The name a save dialog's choice is written to: szSuffix added after a dot
// when the file name has no dot of its own, as Qt's save dialog adds it.
QString WithDefaultSuffix(const QString& szPath, const QString& szSuffix);

// Runs fnPick (one save dialog that proposes a name and returns the final
// path chosen, empty for cancel) until the name chosen is free or
// fnConfirmReplace agrees to replace that file. After a "no" the dialog opens
// again on the same name. Returns the path, or empty when cancelled.
QString PickSavePath(const QString& szProposed,
                     const std::function<QString(const QString&)>& fnPick,
                     const std::function<bool(const QString&)>& fnConfirmReplace);

// Asks whether the existing file szPath is to be replaced; true for yes.
bool ConfirmReplace(QWidget* pParent, const QString& szPath);
