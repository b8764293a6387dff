// The results file: a tab-separated table (.xls) or a plain-text report
// (.doc), Windows-1251, line feeds only, numbers in the classic "C" format
// whatever the process locale is.
#pragma once

#include <cstddef>
#include <ctime>
#include <functional>
#include <string>
#include <string_view>

#include "platform/atomic_file.h"

struct ArchiveRecord;
struct EmptyCellTable;

// Proposed file name for the time t in local time: "results%d_%m_%y.xls" for
// the table form, ".doc" for the report; empty when the conversion fails.
std::string ProposedResultsName(int bExcelTable, std::time_t t);

// The user's decimal separator: ',' when the numeric locale the environment
// names (LC_ALL, LC_NUMERIC, LANG) writes 1.2 with a comma, '.' otherwise.
char decimalSeparator();

// Formats the results piece by piece and hands each piece to sink as it is
// made. nCount is clamped to 0..2000; records are slots 0..nCount-1.
// separator is used by the table form only; the report always writes ','.
void FormatResults(const ArchiveRecord* records, int nCount, const EmptyCellTable& cells,
                   int bExcelTable, char separator,
                   const std::function<bool(std::string_view piece)>& sink);

// The same for any number of records (the history holds more than the ring).
void FormatRecords(const ArchiveRecord* records, std::size_t nRecords, const EmptyCellTable& cells,
                   int bExcelTable, char separator,
                   const std::function<bool(std::string_view piece)>& sink);

struct WriteOutcome {
    bool ok = false;
    std::string reason; // the system's reason (strerror), UTF-8; empty on success
    int error = 0;      // its errno: EEXIST when the name was taken and policy kept it
};

// Writes g_records[0..nCount-1] and g_emptyCells as the file at path, through
// a temporary file beside it that takes the name only when whole: on any
// failure the file at path is as it was and no temporary file remains. With
// KeepExisting, a file that has the name by the time the results are whole
// is kept (EEXIST).
WriteOutcome WriteResultsToFile(const std::string& path, int nCount, int bExcelTable,
                                char separator, ReplacePolicy policy = ReplacePolicy::Replace);
