// Why the measurement history could not be used, and what to do, in the user's words.
#pragma once

#include <QString>

#include "history/record_store.h"

QString HistoryReasonText(history::Error::Kind kind);
// One or two sentences: what the user can do about it.
QString HistoryRemedyText(history::Error::Kind kind);
