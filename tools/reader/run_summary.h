// The one line a run leaves in the systemd journal: what became of the
// download, at the priority that fits, so that `journalctl --user -u
// tarvex-read` reads as one line a run and a failure stands out (-p err).
#pragma once

#include <cstdio>
#include <string>

struct RunOutcome {
    int status = 0;
    bool nothingNew = false;
    int written = 0;  // records in the results file
    std::string path; // the results file
};

// Whether out is the journal's stream (systemd sets JOURNAL_STREAM to the
// device and inode of the stream it connects a service's output to).
bool IsJournalStream(std::FILE* out);

// "<5>done: 40 records written to PATH" and the like: a syslog priority
// prefix the journal takes off, then the text in the user's language.
std::string JournalSummary(const RunOutcome& outcome);
