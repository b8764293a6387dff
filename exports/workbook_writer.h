// The results as an Excel workbook (.xlsx): sheet 1 holds one row per record,
// sheet 2 the empty-cell parameters. Every number is a number cell, so the
// file reads the same in any locale.
#pragma once

#include <string>

#include "archive/results_writer.h"
#include "exports/export_content.h"

namespace exports {

// Writes the workbook at path (created or replaced). Not atomic by itself:
// callers that keep the file go through WriteResultsForm.
WriteOutcome WriteWorkbook(const ExportContent& content, const std::string& path);

// Whether this build writes workbooks (it was built with libxlsxwriter).
bool WorkbookBuilt();

} // namespace exports
