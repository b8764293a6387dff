#include "dialog_driver.h"

#include <commctrl.h>

#include <thread>

namespace {

constexpr wchar_t DIALOG_CLASS[] = L"#32770";
constexpr wchar_t CAPTION[] = L"Вельмар-7К Программа чтения результатов";
// The save dialog's name field: the explorer dialog's combo box, or an edit.
constexpr int NAME_COMBO = 0x47C; // cmb13
constexpr int NAME_EDIT = 0x480;  // edt1
constexpr int TYPE_COMBO = 0x470; // cmb1

std::wstring ClassOf(HWND hWnd) {
    wchar_t name[64] = {};
    ::GetClassNameW(hWnd, name, 64);
    return name;
}

std::wstring TextOf(HWND hWnd) {
    std::wstring text(4096, L'\0');
    text.resize(static_cast<size_t>(::GetWindowTextW(hWnd, text.data(), int(text.size()))));
    return text;
}

// The program's visible dialog windows, main dialog first when shown.
std::vector<HWND> DialogsOf(DWORD pid) {
    struct Search {
        DWORD pid;
        std::vector<HWND> found;
    } search{pid, {}};
    ::EnumWindows(
        [](HWND hWnd, LPARAM lParam) -> BOOL {
            auto* s = reinterpret_cast<Search*>(lParam);
            DWORD owner = 0;
            ::GetWindowThreadProcessId(hWnd, &owner);
            if (owner == s->pid && ::IsWindowVisible(hWnd) && ClassOf(hWnd) == DIALOG_CLASS)
                s->found.push_back(hWnd);
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&search));
    return search.found;
}

} // namespace

std::wstring EnvPath(const wchar_t* name) {
    const wchar_t* value = ::_wgetenv(name);
    return value != nullptr ? value : L"";
}

DialogDriver::DialogDriver(const std::wstring& exe, const std::wstring& arguments,
                           const std::wstring& folder) {
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    std::wstring commandLine = L"\"" + exe + L"\" " + arguments;
    const auto began = std::chrono::steady_clock::now();
    if (!::CreateProcessW(exe.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr,
                          folder.c_str(), &startup, &m_process))
        return;
    WaitFor(
        [&] {
            for (HWND hWnd : DialogsOf(m_process.dwProcessId))
                if (TextOf(hWnd) == CAPTION)
                    m_hDialog = hWnd;
            return m_hDialog != nullptr;
        },
        std::chrono::seconds(20));
    m_timeToWindow = std::chrono::duration_cast<std::chrono::milliseconds>(
        std::chrono::steady_clock::now() - began);
}

DialogDriver::~DialogDriver() {
    if (m_process.hProcess == nullptr)
        return;
    if (::WaitForSingleObject(m_process.hProcess, 0) == WAIT_TIMEOUT)
        ::TerminateProcess(m_process.hProcess, 99);
    ::CloseHandle(m_process.hThread);
    ::CloseHandle(m_process.hProcess);
}

std::wstring DialogDriver::Text(int nId) const {
    return TextOf(::GetDlgItem(m_hDialog, nId));
}

void DialogDriver::Type(int nId, const std::wstring& text) {
    ::SendMessageW(::GetDlgItem(m_hDialog, nId), WM_SETTEXT, 0,
                   reinterpret_cast<LPARAM>(text.c_str()));
}

void DialogDriver::Click(int nId) {
    ::PostMessageW(::GetDlgItem(m_hDialog, nId), BM_CLICK, 0, 0);
}

int DialogDriver::ProgressPos() const {
    return static_cast<int>(::SendMessageW(::GetDlgItem(m_hDialog, 1005), PBM_GETPOS, 0, 0));
}

bool DialogDriver::WaitFor(const std::function<bool()>& done, std::chrono::milliseconds timeOut) {
    const auto end = std::chrono::steady_clock::now() + timeOut;
    while (!done()) {
        if (std::chrono::steady_clock::now() > end)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return true;
}

bool DialogDriver::WaitForStatus(const std::wstring& part,
                                 std::chrono::milliseconds timeOut) const {
    return WaitFor([&] { return Text(1001).find(part) != std::wstring::npos; }, timeOut);
}

HWND DialogDriver::WaitForOtherWindow(std::chrono::milliseconds timeOut) const {
    HWND hOther = nullptr;
    WaitFor(
        [&] {
            for (HWND hWnd : DialogsOf(m_process.dwProcessId))
                if (hWnd != m_hDialog)
                    hOther = hWnd;
            return hOther != nullptr;
        },
        timeOut);
    return hOther;
}

std::wstring DialogDriver::Describe(HWND hWnd) {
    std::wstring description;
    ::EnumChildWindows(
        hWnd,
        [](HWND hChild, LPARAM lParam) -> BOOL {
            *reinterpret_cast<std::wstring*>(lParam) += L" " + ClassOf(hChild) + L"#" +
                                                        std::to_wstring(::GetDlgCtrlID(hChild)) +
                                                        L"[" + TextOf(hChild) + L"]";
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&description));
    return description;
}

std::vector<std::wstring> DialogDriver::ChildTexts(HWND hWnd) {
    std::vector<std::wstring> texts;
    ::EnumChildWindows(
        hWnd,
        [](HWND hChild, LPARAM lParam) -> BOOL {
            reinterpret_cast<std::vector<std::wstring>*>(lParam)->push_back(TextOf(hChild));
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&texts));
    return texts;
}

bool DialogDriver::AnswerSaveDialog(HWND hSave, const std::wstring& name) {
    HWND hName = ::GetDlgItem(hSave, NAME_COMBO);
    if (hName == nullptr)
        hName = ::GetDlgItem(hSave, NAME_EDIT);
    if (hName == nullptr)
        return false;
    ::SendMessageW(hName, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(name.c_str()));
    ::PostMessageW(hSave, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED),
                   reinterpret_cast<LPARAM>(::GetDlgItem(hSave, IDOK)));
    return true;
}

std::wstring DialogDriver::SelectedFilter(HWND hSave) {
    HWND hTypes = ::GetDlgItem(hSave, TYPE_COMBO);
    const LRESULT nItem = ::SendMessageW(hTypes, CB_GETCURSEL, 0, 0);
    std::wstring text(512, L'\0');
    if (nItem < 0)
        return {};
    text.resize(static_cast<size_t>(::SendMessageW(hTypes, CB_GETLBTEXT, WPARAM(nItem),
                                                   reinterpret_cast<LPARAM>(text.data()))));
    return text;
}

int DialogDriver::CloseAndWait(std::chrono::milliseconds timeOut) {
    ::PostMessageW(m_hDialog, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
    if (::WaitForSingleObject(m_process.hProcess, static_cast<DWORD>(timeOut.count())) !=
        WAIT_OBJECT_0)
        return -1;
    DWORD status = 0;
    ::GetExitCodeProcess(m_process.hProcess, &status);
    return static_cast<int>(status);
}
