#include "exports/results_forms.h"

#include <array>
#include <cctype>

#include "exports/pdf_report.h"
#include "exports/workbook_writer.h"
#include "platform/codepage.h"
#include "platform/user_settings.h"

namespace exports {

namespace {

struct FormInfo {
    ResultsForm form;
    std::string_view name, suffix;
};
constexpr std::array<FormInfo, 4> FORMS = {{{ResultsForm::Table, "table", "xls"},
                                            {ResultsForm::Report, "report", "doc"},
                                            {ResultsForm::Workbook, "xlsx", "xlsx"},
                                            {ResultsForm::Pdf, "pdf", "pdf"}}};

const FormInfo& Info(ResultsForm form) {
    for (const FormInfo& info : FORMS)
        if (info.form == form)
            return info;
    return FORMS[0];
}

bool EqualsIgnoringCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (std::tolower(static_cast<unsigned char>(a[i])) !=
            std::tolower(static_cast<unsigned char>(b[i])))
            return false;
    return true;
}

} // namespace

std::string_view FormName(ResultsForm form) {
    return Info(form).name;
}

std::optional<ResultsForm> FormFromName(std::string_view name) {
    for (const FormInfo& info : FORMS)
        if (info.name == name)
            return info.form;
    return std::nullopt;
}

std::string_view FormSuffix(ResultsForm form) {
    return Info(form).suffix;
}

std::optional<ResultsForm> FormOfPath(std::string_view path) {
    const std::size_t dot = path.rfind('.');
    if (dot == std::string_view::npos || path.find('/', dot) != std::string_view::npos)
        return std::nullopt;
    for (const FormInfo& info : FORMS)
        if (EqualsIgnoringCase(path.substr(dot + 1), info.suffix))
            return info.form;
    return std::nullopt;
}

bool IsTableKind(ResultsForm form) {
    return form == ResultsForm::Table || form == ResultsForm::Workbook;
}

bool FormBuilt(ResultsForm form) {
    switch (form) {
    case ResultsForm::Workbook:
        return WorkbookBuilt();
    case ResultsForm::Pdf:
        return PdfReportBuilt();
    case ResultsForm::Table:
    case ResultsForm::Report:
        break;
    }
    return true;
}

namespace {
std::string_view KindKey(bool tableKind) {
    return tableKind ? "TableForm" : "ReportForm";
}
} // namespace

ResultsForm RememberedForm(bool tableKind) {
    const auto form = FormFromName(LoadUserSetting(KindKey(tableKind), ""));
    if (form && IsTableKind(*form) == tableKind)
        return *form;
    return tableKind ? ResultsForm::Table : ResultsForm::Report;
}

int RememberForm(ResultsForm form) {
    const bool tableKind = IsTableKind(form);
    if (LoadUserSetting(KindKey(tableKind), "") == FormName(form))
        return 1; // nothing to write
    return SaveUserSetting(KindKey(tableKind), FormName(form));
}

std::string ProposedName(ResultsForm form, std::time_t t) {
    std::tm local{};
    if (localtime_r(&t, &local) == nullptr)
        return {};
    char name[128];
    const std::size_t length = std::strftime(name, sizeof name, "results%d_%m_%y.", &local);
    if (length == 0)
        return {};
    return std::string(name, length) + std::string(FormSuffix(form));
}

namespace {

// The table and the report, piece by piece as made; the first failure stops
// the writing. Any number of records: the history exports more than the ring
// holds. Several blocks each get a line naming the instrument and when its
// records were read, then the records and the empty cells as for one.
FileStatus WriteTextBlocks(const ExportContent& content, bool table, char separator,
                           AtomicFile& file) {
    FileStatus status;
    auto sink = [&](std::string_view piece) {
        status = file.Write(piece);
        return status.Ok();
    };
    const std::vector<ExportBlock> blocks = BlocksOf(content);
    const bool headed = blocks.size() > 1;
    for (std::size_t i = 0; i < blocks.size() && status.Ok(); ++i) {
        const ExportBlock& block = blocks[i];
        if (headed) {
            const std::string when = ReadTimeText(block.firstRead, block.lastRead);
            const std::string heading =
                table ? "Прибор\t" + block.instrument + "\tСчитано\t" + when + "\n"
                      : "Прибор: " + block.instrument + ", считано " + when + "\n";
            if (!sink((i > 0 ? "\n" : "") + Utf8ToCp1251(heading)))
                break;
        }
        FormatRecords(block.records.data(), block.records.size(), block.emptyCells, table ? 1 : 0,
                      separator, sink);
    }
    return status;
}

} // namespace

WriteOutcome WriteResultsForm(ResultsForm form, const ExportContent& content,
                              const std::string& path, char separator, ReplacePolicy policy) {
    AtomicFile file(path, policy);
    FileStatus status = file.OpenStatus();
    if (!status.Ok())
        return {false, status.Reason(), status.error};
    WriteOutcome outcome{true, {}};
    switch (form) {
    case ResultsForm::Workbook:
        outcome = WriteWorkbook(content, file.TempPath());
        break;
    case ResultsForm::Pdf:
        outcome = WritePdfReport(content, file.TempPath());
        break;
    case ResultsForm::Table:
    case ResultsForm::Report:
        status = WriteTextBlocks(content, form == ResultsForm::Table, separator, file);
        if (!status.Ok())
            outcome = {false, status.Reason(), status.error};
        break;
    }
    if (!outcome.ok)
        return outcome; // the temporary file goes with file
    status = file.Commit();
    if (!status.Ok())
        return {false, status.Reason(), status.error};
    return outcome;
}

} // namespace exports
