// The four forms of a results file: the tab-separated table (.xls) and the
// text report (.doc) of old, and the workbook (.xlsx) and PDF report (.pdf)
// that open right in any office suite. One entry point writes any of them.
#pragma once

#include <ctime>
#include <optional>
#include <string>
#include <string_view>

#include "archive/results_writer.h"
#include "exports/export_content.h"
#include "platform/atomic_file.h"

namespace exports {

enum class ResultsForm { Table, Report, Workbook, Pdf };

// "table", "report", "xlsx", "pdf": the names the command line takes.
std::string_view FormName(ResultsForm form);
std::optional<ResultsForm> FormFromName(std::string_view name);

// File suffix without the dot: "xls", "doc", "xlsx", "pdf".
std::string_view FormSuffix(ResultsForm form);
// The form a file name's suffix stands for (case-insensitive), if any.
std::optional<ResultsForm> FormOfPath(std::string_view path);

// The check box's kind: the table kind holds Table and Workbook, the report
// kind Report and Pdf.
bool IsTableKind(ResultsForm form);

// Whether this build can write form (the workbook and the PDF need libraries
// a build may lack).
bool FormBuilt(ResultsForm form);

// The form of the check box's kind that the user chose last time, from the
// program's own settings; the old form (table or report) the first time.
ResultsForm RememberedForm(bool tableKind);
// Stores form as the choice for its kind; 1 on success, 0 with errno set.
int RememberForm(ResultsForm form);

// Proposed file name for the time t in local time, "results%d_%m_%y." and
// the form's suffix; empty when the conversion fails.
std::string ProposedName(ResultsForm form, std::time_t t);

// Writes content in form at path through a temporary file beside it, which
// takes the name only when complete: a failure leaves no cut file and an
// older file as it was. With KeepExisting a file that has appeared at path
// meanwhile is kept and the write fails (EEXIST). separator is the table
// form's decimal separator; the other forms do not depend on it.
WriteOutcome WriteResultsForm(ResultsForm form, const ExportContent& content,
                              const std::string& path, char separator,
                              ReplacePolicy policy = ReplacePolicy::Replace);

} // namespace exports
