// Why the measurement history could not be used, and what to do, in the user's words.
#pragma once

#include <QString>

#include <string>

#include "history/record_store.h"

QString HistoryReasonText(history::Error::Kind kind);
// One or two sentences: what the user can do about it.
QString HistoryRemedyText(history::Error::Kind kind);

// The whole box about a history problem, in the user's words only: what
// failed (szWhat), why, what to do, and the file.
QString HistoryProblemText(const QString& szWhat, history::Error::Kind kind,
                           const std::string& path);

class QWidget;
// The damaged-history box with its way out: true when the user chose to
// set the damaged file aside and start a new history.
bool AskSetAsideDamagedHistory(QWidget* pParent, const QString& szText);
