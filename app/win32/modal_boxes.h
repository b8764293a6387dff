// The dialog's modal windows other than the save dialog: message boxes,
// the damaged-history question and the About box.
#pragma once

#include <string>

#include "dialog/dialog_view.h"

struct HINSTANCE__;
struct HWND__;

// Title of every box of the program.
inline constexpr const wchar_t* BOX_TITLE = L"Tarvex";

void ShowBox(HWND__* hOwner, const std::string& text, BoxIcon icon);
// Yes or no, "no" preselected: true for yes.
bool AskYesNo(HWND__* hOwner, const std::wstring& text);
// True for "Отложить и начать новую историю".
bool AskSetAside(HWND__* hOwner, const std::string& text);
// Template IDD_ABOUTBOX, modal, centred over its owner.
void RunAboutBox(HINSTANCE__* hInstance, HWND__* hOwner);
