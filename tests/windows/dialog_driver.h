// Drives tarvex.exe from outside, as a user would: starts it, finds its
// windows, types into and clicks its controls, answers the save dialog and
// the message boxes. Shared by the dialog's test and its bench.
#pragma once

#include <windows.h>

#include <chrono>
#include <functional>
#include <string>
#include <vector>

// A wide path from the environment variable name (empty when unset).
std::wstring EnvPath(const wchar_t* name);

class DialogDriver {
public:
    // Starts exe with arguments in folder; waits until its dialog shows.
    DialogDriver(const std::wstring& exe, const std::wstring& arguments,
                 const std::wstring& folder);
    ~DialogDriver();

    bool Started() const { return m_hDialog != nullptr; }
    std::chrono::milliseconds TimeToWindow() const { return m_timeToWindow; }
    HWND Dialog() const { return m_hDialog; }

    std::wstring Text(int nId) const;
    void Type(int nId, const std::wstring& text); // the edit's whole text
    void Click(int nId);                          // as a mouse click, not waited for
    int ProgressPos() const;

    // Polls until done() or the time-out; false on time-out.
    static bool WaitFor(const std::function<bool()>& done, std::chrono::milliseconds timeOut);
    bool WaitForStatus(const std::wstring& part, std::chrono::milliseconds timeOut) const;

    // Another visible dialog window of the program: the save dialog, a box.
    HWND WaitForOtherWindow(std::chrono::milliseconds timeOut) const;
    // The texts of a window's children, in order (a box's text, its buttons).
    static std::vector<std::wstring> ChildTexts(HWND hWnd);
    // Each child as class#id[text], for failure messages.
    static std::wstring Describe(HWND hWnd);
    // Types name into the save dialog's name field and presses its Save
    // button; false when the field is not there.
    static bool AnswerSaveDialog(HWND hSave, const std::wstring& name);
    static std::wstring SelectedFilter(HWND hSave);

    // Esc; the program's exit status, or -1 when it did not end in time.
    int CloseAndWait(std::chrono::milliseconds timeOut);

private:
    PROCESS_INFORMATION m_process{};
    HWND m_hDialog = nullptr;
    std::chrono::milliseconds m_timeToWindow{0};
};
