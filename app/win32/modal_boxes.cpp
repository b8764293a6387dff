#include "app/win32/modal_boxes.h"

#include "dialog/resource_ids.h"
#include "platform/win32/wide_text.h"

#include <windows.h>

#include <commctrl.h>

namespace {

UINT IconStyle(BoxIcon icon) {
    switch (icon) {
    case BoxIcon::Information:
        return MB_ICONINFORMATION;
    case BoxIcon::Warning:
        return MB_ICONWARNING;
    case BoxIcon::Error:
        return MB_ICONERROR;
    case BoxIcon::None:
        break;
    }
    return 0;
}

// Centred over the owner, as a modal dialog of the program is placed.
void CenterOver(HWND hWnd, HWND hOwner) {
    RECT box{}, over{};
    ::GetWindowRect(hWnd, &box);
    if (hOwner == nullptr || !::GetWindowRect(hOwner, &over))
        ::SystemParametersInfoW(SPI_GETWORKAREA, 0, &over, 0);
    const int cx = box.right - box.left, cy = box.bottom - box.top;
    ::SetWindowPos(hWnd, nullptr, over.left + (over.right - over.left - cx) / 2,
                   over.top + (over.bottom - over.top - cy) / 2, 0, 0,
                   SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

INT_PTR CALLBACK AboutProc(HWND hWnd, UINT uMsg, WPARAM wParam, LPARAM) {
    switch (uMsg) {
    case WM_INITDIALOG:
        CenterOver(hWnd, ::GetWindow(hWnd, GW_OWNER));
        return TRUE;
    case WM_COMMAND:
        if (LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL) {
            ::EndDialog(hWnd, LOWORD(wParam));
            return TRUE;
        }
        return FALSE;
    default:
        return FALSE;
    }
}

} // namespace

void ShowBox(HWND hOwner, const std::string& text, BoxIcon icon) {
    ::MessageBoxW(hOwner, Widen(text).c_str(), BOX_TITLE, MB_OK | IconStyle(icon));
}

bool AskYesNo(HWND hOwner, const std::wstring& text) {
    return ::MessageBoxW(hOwner, text.c_str(), BOX_TITLE,
                         MB_YESNO | MB_ICONWARNING | MB_DEFBUTTON2) == IDYES;
}

bool AskSetAside(HWND hOwner, const std::string& text) {
    constexpr int ID_SET_ASIDE = 100;
    const std::wstring wide = Widen(text);
    const TASKDIALOG_BUTTON buttons[] = {{ID_SET_ASIDE, L"Отложить и начать новую историю"},
                                         {IDCLOSE, L"Закрыть"}};
    TASKDIALOGCONFIG config{};
    config.cbSize = sizeof config;
    config.hwndParent = hOwner;
    config.dwFlags = TDF_ALLOW_DIALOG_CANCELLATION | TDF_POSITION_RELATIVE_TO_WINDOW;
    config.pszWindowTitle = BOX_TITLE;
    config.pszMainIcon = TD_WARNING_ICON;
    config.pszContent = wide.c_str();
    config.cButtons = 2;
    config.pButtons = buttons;
    config.nDefaultButton = IDCLOSE;
    int nButton = IDCLOSE;
    if (SUCCEEDED(::TaskDialogIndirect(&config, &nButton, nullptr, nullptr)))
        return nButton == ID_SET_ASIDE;
    // Without the task dialog (common controls older than 6): yes or no.
    return AskYesNo(hOwner, wide + L"\n\nОтложить и начать новую историю?");
}

void RunAboutBox(HINSTANCE hInstance, HWND hOwner) {
    ::DialogBoxParamW(hInstance, MAKEINTRESOURCEW(IDD_ABOUTBOX), hOwner, AboutProc, 0);
}
