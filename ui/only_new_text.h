// What the dialog shows of "Только новые записи": the count box while the
// mode is on, and the status line after an only-new download.
#pragma once

#include <QString>

#include <optional>

#include "history/record_store.h"

struct CountBoxLook {
    QString szTitle;   // the group box's caption
    bool bEnabled;     // the edit and its arrows
    QString szToolTip; // why they are off, when they are
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
QString OnlyNewDoneText(int nRead, bool bNewRange, bool bWritten,
                        const std::optional<history::MergeOutcome>& kept);
