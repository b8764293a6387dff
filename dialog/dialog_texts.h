// The dialog's own texts (UTF-8) that depend on the moment: the count box in
// the only-new mode, the status line after an only-new download, and the
// boxes about the history and the settings file.
#pragma once

#include <optional>
#include <string>

#include "history/record_store.h"

struct CountBoxLook {
    std::string title;   // the group box's caption
    bool enabled;        // the edit and its arrows
    std::string toolTip; // why they are off, when they are
};

// The count box: as ever with the mode off; with it on, captioned with the
// mode and greyed, the count kept for a download that cannot tell what is
// new (no earlier download of the instrument, or the ring came round).
CountBoxLook CountBoxLookFor(bool bOnlyNew, int nCount);

// The status line after a download with the mode on: the records read and
// written (the new ones, bNewRange, or the count when what is new could not
// be told), and what the history made of them (none when it was not
// updated). bWritten: the results file was written (the save dialog not
// cancelled).
std::string OnlyNewDoneText(int nRead, bool bNewRange, bool bWritten,
                            const std::optional<history::MergeOutcome>& kept);

// Why the measurement history could not be used, and what to do.
std::string HistoryReasonText(history::Error::Kind kind);
// One or two sentences: what the user can do about it.
std::string HistoryRemedyText(history::Error::Kind kind);
// The whole box about a history problem: what failed (what), why, what to
// do, and the file.
std::string HistoryProblemText(const std::string& what, history::Error::Kind kind,
                               const std::string& path);

// The box when the port number could not be saved on closing; path empty
// when the settings file has none.
std::string PortNotSavedText(int nPort, const std::string& path, const std::string& reason);
