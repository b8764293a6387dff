// A window for ReaderLogic that records what it is shown and answers its
// questions as a test says; posted functions wait in a queue until the test
// runs them, as they wait in a real window's message queue.
#pragma once

#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "dialog/dialog_view.h"
#include "dialog/reader_logic.h"
#include "dialog/resource_ids.h"

class FakeView : public DialogView {
public:
    struct Box {
        std::string text;
        BoxIcon icon;
    };

    ReaderLogic* pLogic = nullptr; // gets the count edit's change, as from a real edit
    std::map<int, std::string> texts, tips;
    std::map<int, bool> enabled, checked;
    int spinLower = 0, spinUpper = 0, spinPos = 0;
    int progressUpper = -1, progressPos = 0;
    std::string status, clockTime, clockDate;
    std::vector<Box> boxes;
    std::vector<SaveRequest> saveRequests;
    // Answers to the save dialogs, in turn; cancel when none is left.
    std::deque<std::optional<SaveAnswer>> saveAnswers;
    std::function<void()> fnDuringSave; // runs while the save dialog is "open"
    bool bSetAside = false;
    int nTimerId = 0, nTimerPeriod = 0;

    void SetControlText(int nId, const std::string& text) override {
        texts[nId] = text;
        if (nId == IDC_RECORD_COUNT && pLogic != nullptr)
            pLogic->OnChangeRecordCount();
    }
    std::string ControlText(int nId) override { return texts[nId]; }
    void EnableControl(int nId, bool bEnabled) override { enabled[nId] = bEnabled; }
    void SetControlChecked(int nId, bool bChecked) override { checked[nId] = bChecked; }
    void SetControlTip(int nId, const std::string& text) override { tips[nId] = text; }
    void SetSpinRange(int nLower, int nUpper) override { spinLower = nLower, spinUpper = nUpper; }
    void SetSpinPos(int nPos) override { spinPos = nPos; }
    int SpinPos() override { return spinPos; }
    void SetProgressRange(int, int nUpper) override { progressUpper = nUpper; }
    void SetProgressPos(int nPos) override { progressPos = nPos; }
    void SetStatusText(const std::string& text) override { status = text; }
    void SetClock(const std::string& timeLine, const std::string& dateLine) override {
        clockTime = timeLine, clockDate = dateLine;
    }
    void ShowMessageBox(const std::string& text, BoxIcon icon) override {
        boxes.push_back({text, icon});
    }
    bool AskSetAsideDamagedHistory(const std::string&) override { return bSetAside; }
    std::optional<SaveAnswer> ChooseSavePath(const SaveRequest& request) override {
        saveRequests.push_back(request);
        if (fnDuringSave)
            fnDuringSave();
        if (saveAnswers.empty())
            return std::nullopt;
        auto answer = saveAnswers.front();
        saveAnswers.pop_front();
        return answer;
    }
    void ShowAboutBox() override {}
    void SetWaitCursor(bool) override {}
    void Minimize() override {}
    void Close() override {}
    void StartTimer(int nIdEvent, int nPeriodMs) override {
        nTimerId = nIdEvent, nTimerPeriod = nPeriodMs;
    }
    void Post(std::function<void()> fn) override {
        {
            std::lock_guard lock(m_mutex);
            m_posted.push_back(std::move(fn));
        }
        m_wake.notify_all();
    }

    // Runs what was posted, in order, until done() holds or nMs pass;
    // returns done().
    bool RunPostedUntil(const std::function<bool()>& done, int nMs) {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(nMs);
        while (!done()) {
            std::unique_lock lock(m_mutex);
            if (!m_wake.wait_until(lock, deadline, [this] { return !m_posted.empty(); }))
                return done();
            auto fn = std::move(m_posted.front());
            m_posted.pop_front();
            lock.unlock();
            fn();
        }
        return true;
    }
    size_t PostedCount() {
        std::lock_guard lock(m_mutex);
        return m_posted.size();
    }

private:
    std::mutex m_mutex;
    std::condition_variable m_wake;
    std::deque<std::function<void()>> m_posted;
};
