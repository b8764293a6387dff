// The history window's filter fields read into a filter, and what is wrong
// with them in words the user can act on.
#pragma once

#include <QString>

#include <optional>

#include "history/record_store.h"

struct HistoryFilterFields {
    QString sample;
    QString cell;
    QString from; // first day, ГГГГ-ММ-ДД or ДД.ММ.ГГГГ
    QString to;   // last day, included
};

// The filter the fields give, or none with szProblem saying which field is
// wrong and how: a number out of range, a date of the wrong form, a day the
// calendar does not have, a range that ends before it starts.
std::optional<history::Filter> ParseHistoryFilter(const HistoryFilterFields& fields,
                                                  QString& szProblem);
