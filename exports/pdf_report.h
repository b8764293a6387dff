// The results as a PDF test report: A4 pages with embedded fonts, a title
// block, the records grouped by oil sample, a tgD-against-temperature chart
// for each sample measured at two or more temperatures, the empty-cell
// parameters, and "стр. N из M" on every page.
#pragma once

#include <string>

#include "archive/results_writer.h"
#include "exports/export_content.h"

namespace exports {

// Writes the report at path (created or replaced). Not atomic by itself:
// callers that keep the file go through WriteResultsForm.
WriteOutcome WritePdfReport(const ExportContent& content, const std::string& path);

// Whether this build writes PDF reports (it was built with cairo and pango).
bool PdfReportBuilt();

} // namespace exports
