// Why the measurement history could not be used, in the user's words.
#pragma once

#include <QString>

#include "history/record_store.h"

QString HistoryReasonText(history::Error::Kind kind);
