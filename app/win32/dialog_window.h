// The main dialog as a native Windows dialog: the window of template
// IDD_MAIN shows what ReaderLogic gives it and hands the window's events to
// it. It decides nothing beyond what a Windows dialog does by itself.
#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <string>

#include "dialog/dialog_view.h"

class ReaderLogic;
struct HINSTANCE__;
struct HWND__;

class DialogWindow : public DialogView {
public:
    explicit DialogWindow(HINSTANCE__* hInstance) : m_hInstance(hInstance) {}
    DialogWindow(const DialogWindow&) = delete;
    DialogWindow& operator=(const DialogWindow&) = delete;

    // Runs the dialog modally over logic; returns once its window is gone.
    void Run(ReaderLogic& logic);
    // The dialog's window while it exists (tests and the procedure).
    HWND__* Window() const { return m_hWnd; }

    // The dialog procedure's work: true when the message was handled (its
    // result, where it has one, is set here).
    bool OnMessage(HWND__* hWnd, unsigned uMsg, std::uintptr_t wParam, std::intptr_t lParam);

    // DialogView.
    void SetControlText(int nId, const std::string& text) override;
    std::string ControlText(int nId) override;
    void EnableControl(int nId, bool bEnabled) override;
    void SetControlChecked(int nId, bool bChecked) override;
    void SetControlTip(int nId, const std::string& text) override;
    void SetSpinRange(int nLower, int nUpper) override;
    void SetSpinPos(int nPos) override;
    int SpinPos() override;
    void SetProgressRange(int nLower, int nUpper) override;
    void SetProgressPos(int nPos) override;
    void SetStatusText(const std::string& text) override;
    void SetClock(const std::string& timeLine, const std::string& dateLine) override;
    void ShowMessageBox(const std::string& text, BoxIcon icon) override;
    bool AskSetAsideDamagedHistory(const std::string& text) override;
    std::optional<SaveAnswer> ChooseSavePath(const SaveRequest& request) override;
    void ShowAboutBox() override;
    void SetWaitCursor(bool bBusy) override;
    void Minimize() override;
    void Close() override;
    void StartTimer(int nIdEvent, int nPeriodMs) override;
    void Post(std::function<void()> fn) override;

private:
    void OnInitDialog();
    void OnCommand(int nId, int nCode);
    void OnContextMenu(std::intptr_t lParam);
    void OnDestroy();
    void RunNextPosted();
    HWND__* Control(int nId) const;
    // The owner of a modal window: the dialog while it is on screen.
    HWND__* Owner() const;

    HINSTANCE__* m_hInstance;
    HWND__* m_hWnd = nullptr;
    HWND__* m_hTips = nullptr;
    ReaderLogic* m_pLogic = nullptr;
    bool m_bWaitCursor = false;

    // Functions posted from any thread, run one by one in order on the
    // dialog's thread; one wake-up message is in the queue while any wait.
    std::mutex m_postedMutex;
    std::deque<std::function<void()>> m_posted;
    bool m_bWakePosted = false;
    bool m_bOpen = false; // the window exists: posts are taken
};
