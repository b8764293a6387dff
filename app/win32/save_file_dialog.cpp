#include "app/win32/save_file_dialog.h"

#include <vector>

#include "app/win32/modal_boxes.h"
#include "platform/win32/wide_text.h"

#include <windows.h>

#include <commdlg.h>

namespace {

std::wstring Suffix(exports::ResultsForm form) {
    const std::string_view suffix = exports::FormSuffix(form);
    return std::wstring(suffix.begin(), suffix.end());
}

// "Text (*.ext)\0*.ext\0" for each form, then all files; double NUL at the end.
std::wstring FilterList(const std::vector<exports::ResultsForm>& forms) {
    std::wstring list;
    for (exports::ResultsForm form : forms) {
        list += FilterText(form);
        list += L'\0';
        list += L"*." + Suffix(form);
        list += L'\0';
    }
    list += L" All Files (*.*)";
    list += L'\0';
    list += L"*.*";
    list += L'\0';
    return list;
}

// The name part of path (after the last separator).
std::wstring FileNameOf(const std::wstring& path) {
    const size_t slash = path.find_last_of(L"\\/");
    return slash == std::wstring::npos ? path : path.substr(slash + 1);
}

bool Exists(const std::wstring& path) {
    const DWORD attributes = ::GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

} // namespace

std::wstring FilterText(exports::ResultsForm form) {
    switch (form) {
    case exports::ResultsForm::Table:
    case exports::ResultsForm::Report:
        return L"Results Files (*." + Suffix(form) + L")";
    case exports::ResultsForm::Workbook:
        return L"Excel Workbook (*.xlsx)";
    case exports::ResultsForm::Pdf:
        return L"PDF Report (*.pdf)";
    }
    return {};
}

std::optional<SaveAnswer> RunSaveFileDialog(HWND hOwner, const SaveRequest& request) {
    const std::wstring filters = FilterList(request.offeredForms);
    DWORD nFilter = 1;
    for (size_t i = 0; i < request.offeredForms.size(); ++i)
        if (request.offeredForms[i] == request.proposedForm)
            nFilter = static_cast<DWORD>(i + 1);
    std::wstring start = Widen(request.proposedName);
    for (;;) {
        std::vector<wchar_t> file(32768, L'\0');
        start.copy(file.data(), file.size() - 1);
        const std::wstring defaultSuffix = Suffix(request.proposedForm);
        OPENFILENAMEW ofn{};
        ofn.lStructSize = sizeof ofn;
        ofn.hwndOwner = hOwner;
        ofn.lpstrFilter = filters.c_str();
        ofn.nFilterIndex = nFilter;
        ofn.lpstrFile = file.data();
        ofn.nMaxFile = static_cast<DWORD>(file.size());
        // The filter's suffix is added to a name typed without one; the
        // dialog asks before a file of the final name is replaced.
        ofn.lpstrDefExt = defaultSuffix.c_str();
        ofn.Flags = OFN_EXPLORER | OFN_PATHMUSTEXIST | OFN_HIDEREADONLY | OFN_OVERWRITEPROMPT |
                    OFN_NOCHANGEDIR;
        if (!::GetSaveFileNameW(&ofn))
            return std::nullopt; // cancelled (or the dialog failed: nothing written either)
        nFilter = ofn.nFilterIndex;
        const bool bFormFilter = nFilter >= 1 && nFilter <= request.offeredForms.size();
        const exports::ResultsForm filterForm =
            bFormFilter ? request.offeredForms[nFilter - 1] : request.proposedForm;
        std::wstring path(file.data());
        // A dialog that left a bare name as typed: the filter's suffix, and
        // the question about the file of that name.
        if (FileNameOf(path).find(L'.') == std::wstring::npos) {
            path += L"." + Suffix(filterForm);
            if (Exists(path) && !AskYesNo(hOwner, L"Файл " + FileNameOf(path) +
                                                      L" уже существует.\nЗаменить его?")) {
                start = path;
                continue;
            }
        }
        return SaveAnswer{Narrow(path), filterForm};
    }
}
