// The clock panel: the edit IDC_CLOCK with the time and the date drawn on
// it. It keeps its lines and draws them whenever it is painted, so that it
// never shows blank when uncovered between ticks, and it takes no typing.
#pragma once

#include <string>

struct HWND__;

// Makes the edit hEdit the clock panel (until it is destroyed).
void AttachClockPanel(HWND__* hEdit);
// The two lines, drawn at x 4, y 0 and x 1, y 15 of the panel now.
void ShowClockLines(HWND__* hEdit, const std::wstring& timeLine, const std::wstring& dateLine);
