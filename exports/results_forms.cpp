#include "exports/results_forms.h"

#include <array>
#include <cctype>
#include <cstdio>

#include "exports/pdf_report.h"
#include "exports/workbook_writer.h"

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

WriteOutcome WriteResultsForm(ResultsForm form, const ExportContent& content,
                              const std::string& path, char separator) {
    switch (form) {
    case ResultsForm::Workbook:
        return WriteWorkbook(content, path);
    case ResultsForm::Pdf:
        return WritePdfReport(content, path);
    case ResultsForm::Table:
    case ResultsForm::Report:
        break;
    }
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (file == nullptr)
        return {false, "cannot create the file"};
    bool ok = true;
    FormatResults(content.records.data(), static_cast<int>(content.records.size()),
                  content.emptyCells, form == ResultsForm::Table ? 1 : 0, separator,
                  [&](std::string_view piece) {
                      ok = std::fwrite(piece.data(), 1, piece.size(), file) == piece.size();
                      return ok;
                  });
    ok = std::fclose(file) == 0 && ok;
    return {ok, ok ? std::string() : "write failed"};
}

} // namespace exports
