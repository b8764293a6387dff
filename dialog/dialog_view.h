// What the main dialog's behaviour needs of a window: the Qt dialog and the
// native Windows dialog each implement it, and ReaderLogic (reader_logic.h)
// drives it. A view shows what it is given and reports its controls' events
// to the logic; it decides nothing. Texts are UTF-8; controls are named by
// their ids (resource_ids.h).
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "exports/results_forms.h"

enum class BoxIcon { None, Information, Warning, Error };

// What the save dialog of the results file is to offer.
struct SaveRequest {
    std::string proposedName;          // with proposedForm's suffix
    bool tableKind = false;            // the check box's kind
    exports::ResultsForm proposedForm; // its filter selected at the start
    // The filters, in order: the old form first, then the new form of the
    // kind when this build writes it. "All files" may follow them.
    std::vector<exports::ResultsForm> offeredForms;
};

// The user's choice in the save dialog.
struct SaveAnswer {
    // A path as the core's file functions take it (UTF-8 on Windows), with
    // the filter's suffix added when the typed name had none. The view has
    // already asked before an existing file there is replaced.
    std::string path;
    exports::ResultsForm form; // the form of the filter selected last
};

class DialogView {
public:
    virtual ~DialogView() = default;

    // ---- Controls, by id ----
    virtual void SetControlText(int nId, const std::string& text) = 0;
    virtual std::string ControlText(int nId) = 0;
    virtual void EnableControl(int nId, bool bEnabled) = 0;
    virtual void SetControlChecked(int nId, bool bChecked) = 0;
    // The control's tooltip; empty removes it. A view without tooltips may
    // ignore it.
    virtual void SetControlTip(int nId, const std::string& text) = 0;

    // The record-count arrows (IDC_RECORD_SPIN).
    virtual void SetSpinRange(int nLower, int nUpper) = 0;
    virtual void SetSpinPos(int nPos) = 0;
    virtual int SpinPos() = 0;

    // The progress bar (IDC_PROGRESS): empty until the first range is set.
    // A position outside the range is shown at its nearer end, and a new
    // range keeps the position, as a Windows progress bar does.
    virtual void SetProgressRange(int nLower, int nUpper) = 0;
    virtual void SetProgressPos(int nPos) = 0;

    // The status line (IDC_STATUS), the whole text; the view may shorten
    // what it shows of it.
    virtual void SetStatusText(const std::string& text) = 0;
    // The clock panel (IDC_CLOCK): its two lines, drawn at x 4, y 0 and
    // x 1, y 15 of the panel.
    virtual void SetClock(const std::string& timeLine, const std::string& dateLine) = 0;

    // ---- Modal windows ----
    // Owned by the window while it is on screen, free-standing after it has
    // closed (the link may still ask for a box while it stops).
    virtual void ShowMessageBox(const std::string& text, BoxIcon icon) = 0;
    // The damaged-history box (a warning) with two buttons, "Отложить и начать
    // новую историю" and "Закрыть": true for the first.
    virtual bool AskSetAsideDamagedHistory(const std::string& text) = 0;
    // The save dialog; none when cancelled.
    virtual std::optional<SaveAnswer> ChooseSavePath(const SaveRequest& request) = 0;
    virtual void ShowAboutBox() = 0;

    // ---- The window ----
    virtual void SetWaitCursor(bool bBusy) = 0;
    virtual void Minimize() = 0;
    virtual void Close() = 0; // as Esc: the dialog ends

    // ---- Time and threads ----
    // Ticks of timer nIdEvent come to ReaderLogic::OnTimer every nPeriodMs
    // from now on, on the view's thread; a second call for the same id
    // restarts it. The timer ends with the window.
    virtual void StartTimer(int nIdEvent, int nPeriodMs) = 0;
    // Called on any thread (the link worker's): runs fn later on the view's
    // thread, in the order posted. Functions still queued when the view is
    // destroyed are dropped without being run.
    virtual void Post(std::function<void()> fn) = 0;
};
