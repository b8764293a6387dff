#include "dialog/results_saving.h"

#include <cerrno>
#include <filesystem>
#include <system_error>

#include "platform/atomic_file.h"

namespace {

using exports::ResultsForm;

ResultsForm OldForm(bool tableKind) {
    return tableKind ? ResultsForm::Table : ResultsForm::Report;
}

bool IsOffered(bool tableKind, ResultsForm form) {
    return exports::IsTableKind(form) == tableKind && exports::FormBuilt(form);
}

// Anything at path, a dangling link included.
bool SomethingAt(const std::string& path) {
#ifdef _WIN32
    const std::filesystem::path fsPath(
        std::u8string(reinterpret_cast<const char8_t*>(path.data()), path.size()));
#else
    const std::filesystem::path fsPath(path);
#endif
    std::error_code error;
    return std::filesystem::exists(std::filesystem::symlink_status(fsPath, error));
}

// The file name part of path, for its suffix.
std::string FileName(const std::string& path) {
    const size_t nSlash = path.find_last_of("/\\");
    return nSlash == std::string::npos ? path : path.substr(nSlash + 1);
}

} // namespace

std::vector<ResultsForm> OfferedForms(bool tableKind) {
    std::vector<ResultsForm> forms{OldForm(tableKind)};
    const ResultsForm newForm = tableKind ? ResultsForm::Workbook : ResultsForm::Pdf;
    if (exports::FormBuilt(newForm))
        forms.push_back(newForm);
    return forms;
}

ResultsForm OfferedForm(bool tableKind) {
    const ResultsForm remembered = exports::RememberedForm(tableKind);
    return IsOffered(tableKind, remembered) ? remembered : OldForm(tableKind);
}

ResultsForm ChosenForm(bool tableKind, const std::string& path, ResultsForm filterForm) {
    if (const auto bySuffix = exports::FormOfPath(FileName(path));
        bySuffix && IsOffered(tableKind, *bySuffix))
        return *bySuffix;
    return IsOffered(tableKind, filterForm) ? filterForm : OldForm(tableKind);
}

ResultsSaveOutcome SaveResultsAs(ResultsForm form, const exports::ExportContent& content,
                                 const std::string& path, char separator) {
    const ReplacePolicy policy =
        SomethingAt(path) ? ReplacePolicy::Replace : ReplacePolicy::KeepExisting;
    const FileStatus target = CheckNewFileTarget(path, policy);
    if (!target.Ok())
        return {false, "Файл нельзя сохранить здесь:\n" + path + "\n" + target.Reason() +
                           "\nВыберите другую папку или другое имя."};

    const WriteOutcome outcome = exports::WriteResultsForm(form, content, path, separator, policy);
    if (outcome.ok)
        return {true, {}};
    if (outcome.error == EEXIST && policy == ReplacePolicy::KeepExisting)
        return {false, "Файл\n" + path +
                           "\nпоявился, пока шла запись, и не заменён.\n"
                           "Выберите другое имя."};
    const std::string kept = policy == ReplacePolicy::Replace ? "Прежний файл не изменён.\n" : "";
    return {false, "Не удалось записать файл\n" + path + "\n" + outcome.reason + "\n" + kept +
                       "Выберите другое место."};
}
