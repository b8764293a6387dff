#include "app/win32/dialog_window.h"

#include "app/win32/clock_panel.h"
#include "app/win32/modal_boxes.h"
#include "app/win32/save_file_dialog.h"
#include "dialog/reader_logic.h"
#include "dialog/resource_ids.h"
#include "platform/win32/wide_text.h"

// After the program's headers: <windows.h> makes macros of names they declare.
#include <windows.h>

#include <commctrl.h>

namespace {

// Wakes the dialog's thread for the functions posted to it.
constexpr UINT WM_RUN_POSTED = WM_APP + 1;
// The context menu's own command (the window commands are the system ones).
constexpr UINT IDM_ONLY_NEW = 0x20;

INT_PTR CALLBACK MainDialogProc(HWND hWnd, UINT uMsg, WPARAM wParam, LPARAM lParam) {
    if (uMsg == WM_INITDIALOG)
        ::SetWindowLongPtrW(hWnd, DWLP_USER, lParam);
    auto* pWindow = reinterpret_cast<DialogWindow*>(::GetWindowLongPtrW(hWnd, DWLP_USER));
    return pWindow != nullptr && pWindow->OnMessage(hWnd, uMsg, wParam, lParam) ? TRUE : FALSE;
}

std::wstring WindowText(HWND hWnd) {
    std::wstring text(static_cast<size_t>(::GetWindowTextLengthW(hWnd)) + 1, L'\0');
    text.resize(static_cast<size_t>(::GetWindowTextW(hWnd, text.data(), int(text.size()))));
    return text;
}

// Whether text, in the control's font, is wider than the control.
bool TooWide(HWND hControl, const std::wstring& text) {
    RECT client{};
    ::GetClientRect(hControl, &client);
    HDC hDc = ::GetDC(hControl);
    HGDIOBJ hOld =
        ::SelectObject(hDc, reinterpret_cast<HGDIOBJ>(::SendMessageW(hControl, WM_GETFONT, 0, 0)));
    SIZE size{};
    ::GetTextExtentPoint32W(hDc, text.c_str(), int(text.size()), &size);
    ::SelectObject(hDc, hOld);
    ::ReleaseDC(hControl, hDc);
    return size.cx > client.right - client.left;
}

} // namespace

void DialogWindow::Run(ReaderLogic& logic) {
    m_pLogic = &logic;
    ::DialogBoxParamW(m_hInstance, MAKEINTRESOURCEW(IDD_MAIN), nullptr, MainDialogProc,
                      reinterpret_cast<LPARAM>(this));
    m_pLogic = nullptr;
}

bool DialogWindow::OnMessage(HWND hWnd, unsigned uMsg, std::uintptr_t wParam,
                             std::intptr_t lParam) {
    switch (uMsg) {
    case WM_INITDIALOG:
        m_hWnd = hWnd;
        OnInitDialog();
        return true; // the focus goes to the first tab stop, the Read-archive button
    case WM_TIMER:
        m_pLogic->OnTimer(static_cast<int>(wParam));
        return true;
    case WM_COMMAND:
        OnCommand(LOWORD(wParam), HIWORD(wParam));
        return true;
    case WM_VSCROLL:
        if (reinterpret_cast<HWND>(lParam) == Control(IDC_RECORD_SPIN))
            m_pLogic->OnVScroll();
        return true;
    case WM_SYSCOMMAND:
        return m_pLogic->OnSysCommand(static_cast<unsigned>(wParam));
    case WM_CONTEXTMENU:
        OnContextMenu(lParam);
        return true;
    case WM_HELP: // F1
        m_pLogic->OnSysCommand(IDM_ABOUTBOX);
        return true;
    case WM_CLOSE:
        Close();
        return true;
    case WM_SETCURSOR:
        if (!m_bWaitCursor)
            return false;
        ::SetCursor(::LoadCursorW(nullptr, IDC_WAIT));
        ::SetWindowLongPtrW(hWnd, DWLP_MSGRESULT, TRUE);
        return true;
    case WM_RUN_POSTED:
        RunNextPosted();
        return true;
    case WM_DESTROY:
        OnDestroy();
        return true;
    default:
        return false;
    }
}

void DialogWindow::OnInitDialog() {
    {
        std::lock_guard lock(m_postedMutex);
        m_bOpen = true;
    }
    // The count's frame has no id in the template; it follows the count edit.
    ::SetWindowLongPtrW(::GetWindow(Control(IDC_RECORD_COUNT), GW_HWNDNEXT), GWLP_ID,
                        IDC_COUNT_GROUP);
    AttachClockPanel(Control(IDC_CLOCK));

    HMENU hSystemMenu = ::GetSystemMenu(m_hWnd, FALSE);
    wchar_t szAbout[64] = {};
    if (hSystemMenu != nullptr && ::LoadStringW(m_hInstance, IDS_ABOUTBOX, szAbout, 64) > 0) {
        ::AppendMenuW(hSystemMenu, MF_SEPARATOR, 0, nullptr);
        ::AppendMenuW(hSystemMenu, MF_STRING, IDM_ABOUTBOX, szAbout);
    }
    for (const auto& [size, cx] : {std::pair{ICON_BIG, SM_CXICON}, {ICON_SMALL, SM_CXSMICON}}) {
        const int nPixels = ::GetSystemMetrics(cx);
        auto hIcon = static_cast<HICON>(::LoadImageW(m_hInstance, MAKEINTRESOURCEW(IDR_MAINFRAME),
                                                     IMAGE_ICON, nPixels, nPixels, LR_SHARED));
        ::SendMessageW(m_hWnd, WM_SETICON, size, reinterpret_cast<LPARAM>(hIcon));
    }

    m_hTips =
        ::CreateWindowExW(WS_EX_TOPMOST, TOOLTIPS_CLASSW, nullptr,
                          WS_POPUP | TTS_NOPREFIX | TTS_ALWAYSTIP, CW_USEDEFAULT, CW_USEDEFAULT,
                          CW_USEDEFAULT, CW_USEDEFAULT, m_hWnd, nullptr, m_hInstance, nullptr);
    ::SendMessageW(m_hTips, TTM_SETMAXTIPWIDTH, 0, 400);
    m_pLogic->OnInitDialog();
}

void DialogWindow::OnCommand(int nId, int nCode) {
    switch (nId) {
    case IDC_READ_ARCHIVE:
        if (nCode == BN_CLICKED)
            m_pLogic->OnReadArchive();
        break;
    case IDC_RECORD_COUNT:
        if (nCode == EN_CHANGE)
            m_pLogic->OnChangeRecordCount();
        break;
    case IDC_EXCEL:
        if (nCode == BN_CLICKED)
            m_pLogic->OnExcelClicked();
        break;
    case IDOK:     // Enter while no push button has the focus
    case IDCANCEL: // Esc
        Close();
        break;
    case IDM_ONLY_NEW:
        m_pLogic->SetOnlyNewRecords(!m_pLogic->OnlyNewRecords());
        break;
    case IDM_ABOUTBOX:
    case SC_MINIMIZE:
    case SC_CLOSE:
        m_pLogic->OnSysCommand(static_cast<unsigned>(nId));
        break;
    default:
        break;
    }
}

void DialogWindow::OnContextMenu(std::intptr_t lParam) {
    // The window commands, the only-new mode and the About box, as the
    // right-click menu of the program on other systems offers them.
    HMENU hMenu = ::CreatePopupMenu();
    ::AppendMenuW(hMenu, MF_STRING, SC_MINIMIZE, L"&Свернуть");
    ::AppendMenuW(hMenu, MF_STRING, SC_CLOSE, L"&Закрыть");
    ::AppendMenuW(hMenu, MF_SEPARATOR, 0, nullptr);
    ::AppendMenuW(hMenu, MF_STRING | (m_pLogic->OnlyNewRecords() ? MF_CHECKED : MF_UNCHECKED),
                  IDM_ONLY_NEW, L"Только новые записи");
    ::AppendMenuW(hMenu, MF_SEPARATOR, 0, nullptr);
    wchar_t szAbout[64] = {};
    ::LoadStringW(m_hInstance, IDS_ABOUTBOX, szAbout, 64);
    ::AppendMenuW(hMenu, MF_STRING, IDM_ABOUTBOX, szAbout);
    POINT pt{static_cast<short>(LOWORD(lParam)), static_cast<short>(HIWORD(lParam))};
    if (lParam == -1) { // from the keyboard: under the focused control
        RECT rect{};
        ::GetWindowRect(::GetFocus() != nullptr ? ::GetFocus() : m_hWnd, &rect);
        pt = {rect.left, rect.bottom};
    }
    ::TrackPopupMenu(hMenu, TPM_LEFTALIGN | TPM_RIGHTBUTTON, pt.x, pt.y, 0, m_hWnd, nullptr);
    ::DestroyMenu(hMenu);
}

void DialogWindow::Close() {
    // The port is saved while the window is still on screen, so that a box
    // about it has the dialog as its owner; WM_DESTROY finds it done.
    m_pLogic->OnDestroy();
    ::EndDialog(m_hWnd, IDCANCEL);
}

void DialogWindow::OnDestroy() {
    m_pLogic->OnDestroy();
    std::deque<std::function<void()>> dropped;
    {
        std::lock_guard lock(m_postedMutex);
        m_bOpen = false;
        dropped.swap(m_posted); // destroyed outside the lock
    }
    if (m_bWaitCursor)
        ::SetCursor(::LoadCursorW(nullptr, IDC_ARROW));
    m_hWnd = nullptr;
}

HWND DialogWindow::Control(int nId) const {
    return ::GetDlgItem(m_hWnd, nId);
}

HWND DialogWindow::Owner() const {
    return m_hWnd != nullptr && ::IsWindowVisible(m_hWnd) ? m_hWnd : nullptr;
}

// ---- Controls ----

void DialogWindow::SetControlText(int nId, const std::string& text) {
    ::SetWindowTextW(Control(nId), Widen(text).c_str());
}

std::string DialogWindow::ControlText(int nId) {
    return Narrow(WindowText(Control(nId)));
}

void DialogWindow::EnableControl(int nId, bool bEnabled) {
    ::EnableWindow(Control(nId), bEnabled ? TRUE : FALSE);
}

void DialogWindow::SetControlChecked(int nId, bool bChecked) {
    ::SendMessageW(Control(nId), BM_SETCHECK, bChecked ? BST_CHECKED : BST_UNCHECKED, 0);
}

void DialogWindow::SetControlTip(int nId, const std::string& text) {
    // A tip is an area of the dialog rather than of the control: a disabled
    // control and a group box pass the mouse on to the dialog.
    HWND hControl = Control(nId);
    if (m_hTips == nullptr || hControl == nullptr)
        return;
    std::wstring tip = Widen(text);
    TOOLINFOW info{};
    info.cbSize = sizeof info;
    info.uFlags = TTF_SUBCLASS;
    info.hwnd = m_hWnd;
    info.uId = static_cast<UINT_PTR>(nId);
    ::SendMessageW(m_hTips, TTM_DELTOOLW, 0, reinterpret_cast<LPARAM>(&info));
    if (tip.empty())
        return;
    ::GetWindowRect(hControl, &info.rect);
    ::MapWindowPoints(nullptr, m_hWnd, reinterpret_cast<POINT*>(&info.rect), 2);
    info.lpszText = tip.data();
    ::SendMessageW(m_hTips, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&info));
}

void DialogWindow::SetSpinRange(int nLower, int nUpper) {
    ::SendMessageW(Control(IDC_RECORD_SPIN), UDM_SETRANGE32, static_cast<WPARAM>(nLower), nUpper);
}

void DialogWindow::SetSpinPos(int nPos) {
    // The position in the low 16 bits, as the count is handed to the arrows.
    ::SendMessageW(Control(IDC_RECORD_SPIN), UDM_SETPOS, 0, MAKELPARAM(nPos, 0));
}

int DialogWindow::SpinPos() {
    return static_cast<int>(::SendMessageW(Control(IDC_RECORD_SPIN), UDM_GETPOS32, 0, 0));
}

void DialogWindow::SetProgressRange(int nLower, int nUpper) {
    ::SendMessageW(Control(IDC_PROGRESS), PBM_SETRANGE32, static_cast<WPARAM>(nLower), nUpper);
}

void DialogWindow::SetProgressPos(int nPos) {
    ::SendMessageW(Control(IDC_PROGRESS), PBM_SETPOS, static_cast<WPARAM>(nPos), 0);
}

void DialogWindow::SetStatusText(const std::string& text) {
    // The line cuts a long text at a word (SS_WORDELLIPSIS); the whole
    // text is then its tip.
    const std::wstring wide = Widen(text);
    HWND hStatus = Control(IDC_STATUS);
    ::SetWindowTextW(hStatus, wide.c_str());
    SetControlTip(IDC_STATUS, TooWide(hStatus, wide) ? text : std::string());
}

void DialogWindow::SetClock(const std::string& timeLine, const std::string& dateLine) {
    ShowClockLines(Control(IDC_CLOCK), Widen(timeLine), Widen(dateLine));
}

// ---- Modal windows ----

void DialogWindow::ShowMessageBox(const std::string& text, BoxIcon icon) {
    ShowBox(Owner(), text, icon);
}

bool DialogWindow::AskSetAsideDamagedHistory(const std::string& text) {
    return AskSetAside(Owner(), text);
}

std::optional<SaveAnswer> DialogWindow::ChooseSavePath(const SaveRequest& request) {
    return RunSaveFileDialog(Owner(), request);
}

void DialogWindow::ShowAboutBox() {
    RunAboutBox(m_hInstance, Owner());
}

// ---- The window ----

void DialogWindow::SetWaitCursor(bool bBusy) {
    m_bWaitCursor = bBusy;
    POINT pt{};
    ::GetCursorPos(&pt);
    HWND hUnder = ::WindowFromPoint(pt);
    if (m_hWnd != nullptr && (hUnder == m_hWnd || ::IsChild(m_hWnd, hUnder)))
        ::SetCursor(::LoadCursorW(nullptr, bBusy ? IDC_WAIT : IDC_ARROW));
}

void DialogWindow::Minimize() {
    ::ShowWindow(m_hWnd, SW_MINIMIZE);
}

void DialogWindow::StartTimer(int nIdEvent, int nPeriodMs) {
    ::SetTimer(m_hWnd, static_cast<UINT_PTR>(nIdEvent), static_cast<UINT>(nPeriodMs), nullptr);
}

// ---- Posted functions ----

void DialogWindow::Post(std::function<void()> fn) {
    std::lock_guard lock(m_postedMutex);
    if (!m_bOpen)
        return; // the window is gone: dropped
    m_posted.push_back(std::move(fn));
    if (!m_bWakePosted)
        m_bWakePosted = ::PostMessageW(m_hWnd, WM_RUN_POSTED, 0, 0) != FALSE;
}

void DialogWindow::RunNextPosted() {
    std::function<void()> fn;
    {
        std::lock_guard lock(m_postedMutex);
        if (m_posted.empty()) {
            m_bWakePosted = false;
            return;
        }
        fn = std::move(m_posted.front());
        m_posted.pop_front();
        // The next one is woken before this one runs: a modal loop inside it
        // (the save dialog) goes on serving the queue in order.
        m_bWakePosted = !m_posted.empty() && ::PostMessageW(m_hWnd, WM_RUN_POSTED, 0, 0) != FALSE;
    }
    fn();
}
