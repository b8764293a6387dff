#include "app/win32/clock_panel.h"

#include <windows.h>

#include <commctrl.h>

namespace {

constexpr UINT_PTR CLOCK_SUBCLASS_ID = 1;
// Hands the panel its new lines (lParam: a ClockLines).
constexpr UINT WM_SET_CLOCK_LINES = WM_APP + 10;

struct ClockLines {
    std::wstring time;
    std::wstring date;
};

void DrawLines(HWND hEdit, const ClockLines& lines) {
    // A device context as the window gives it: its own font and colours.
    HDC hDc = ::GetDC(hEdit);
    // The offsets are pixels at 96 DPI; the font grows with the DPI, so they do too.
    const int nDpi = ::GetDeviceCaps(hDc, LOGPIXELSY);
    const auto scaled = [nDpi](int nPixels) { return ::MulDiv(nPixels, nDpi, 96); };
    ::TextOutW(hDc, scaled(4), 0, lines.time.c_str(), int(lines.time.size()));
    ::TextOutW(hDc, scaled(1), scaled(15), lines.date.c_str(), int(lines.date.size()));
    if (::GetFocus() == hEdit) { // a tab stop: show where the focus is
        RECT client{};
        ::GetClientRect(hEdit, &client);
        ::InflateRect(&client, -1, -1);
        ::DrawFocusRect(hDc, &client);
    }
    ::ReleaseDC(hEdit, hDc);
}

LRESULT CALLBACK ClockProc(HWND hEdit, UINT uMsg, WPARAM wParam, LPARAM lParam, UINT_PTR,
                           DWORD_PTR refData) {
    auto* pLines = reinterpret_cast<ClockLines*>(refData);
    switch (uMsg) {
    case WM_PAINT: {
        const LRESULT result = ::DefSubclassProc(hEdit, uMsg, wParam, lParam);
        DrawLines(hEdit, *pLines);
        return result;
    }
    case WM_SETFOCUS: {
        const LRESULT result = ::DefSubclassProc(hEdit, uMsg, wParam, lParam);
        ::HideCaret(hEdit); // nothing to type here
        ::InvalidateRect(hEdit, nullptr, TRUE);
        return result;
    }
    case WM_KILLFOCUS:
        ::InvalidateRect(hEdit, nullptr, TRUE);
        break;
    // Its text stays empty: no typing, pasting or the edit's own menu.
    case WM_CHAR:
    case WM_PASTE:
    case WM_CUT:
    case WM_CLEAR:
    case WM_UNDO:
        return 0;
    case WM_KEYDOWN:
        if (wParam == VK_DELETE)
            return 0;
        break;
    case WM_CONTEXTMENU:
        return ::SendMessageW(::GetParent(hEdit), uMsg, wParam, lParam);
    case WM_SET_CLOCK_LINES:
        *pLines = *reinterpret_cast<const ClockLines*>(lParam);
        return 0;
    case WM_NCDESTROY:
        ::RemoveWindowSubclass(hEdit, ClockProc, CLOCK_SUBCLASS_ID);
        delete pLines;
        break;
    default:
        break;
    }
    return ::DefSubclassProc(hEdit, uMsg, wParam, lParam);
}

} // namespace

void AttachClockPanel(HWND hEdit) {
    ::SetWindowSubclass(hEdit, ClockProc, CLOCK_SUBCLASS_ID,
                        reinterpret_cast<DWORD_PTR>(new ClockLines));
}

void ShowClockLines(HWND hEdit, const std::wstring& timeLine, const std::wstring& dateLine) {
    const ClockLines lines{timeLine, dateLine};
    ::SendMessageW(hEdit, WM_SET_CLOCK_LINES, 0, reinterpret_cast<LPARAM>(&lines));
    // Blank first, then the new lines, as each tick redraws the panel whole.
    ::InvalidateRect(hEdit, nullptr, TRUE);
    ::UpdateWindow(hEdit);
}
