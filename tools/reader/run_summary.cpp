#include "tools/reader/run_summary.h"

#include <cstdlib>
#include <sys/stat.h>

#include "platform/messages.h"
#include "tools/reader/reader_options.h"

namespace {

// Syslog priorities as the journal reads them at the start of a line.
constexpr const char* PRIORITY_ERROR = "<3>";
constexpr const char* PRIORITY_WARNING = "<4>";
constexpr const char* PRIORITY_NOTICE = "<5>";

// The file was written, but the instrument may have written over records
// before they were read (the ring came round since the last download).
constexpr int STATUS_MAY_HAVE_LOST = 7;

} // namespace

bool IsJournalStream(std::FILE* out) {
    const char* stream = std::getenv("JOURNAL_STREAM");
    struct stat st {};
    if (stream == nullptr || fstat(fileno(out), &st) != 0)
        return false;
    unsigned long long device = 0, inode = 0;
    return std::sscanf(stream, "%llu:%llu", &device, &inode) == 2 && device == st.st_dev &&
           inode == st.st_ino;
}

std::string JournalSummary(const RunOutcome& outcome) {
    switch (outcome.status) {
    case EXIT_WRITTEN:
        if (outcome.nothingNew)
            return std::string(PRIORITY_NOTICE) +
                   Msg("done: no new records since the last download, no file written");
        return PRIORITY_NOTICE +
               Format(MsgN("done: %d record written to %s", "done: %d records written to %s",
                           static_cast<unsigned long>(outcome.written)),
                      outcome.written, outcome.path.c_str());
    case STATUS_MAY_HAVE_LOST:
        return PRIORITY_ERROR +
               Format(MsgN("incomplete: %d record written to %s, but records may have been "
                           "overwritten before this download (exit status 7)",
                           "incomplete: %d records written to %s, but records may have been "
                           "overwritten before this download (exit status 7)",
                           static_cast<unsigned long>(outcome.written)),
                      outcome.written, outcome.path.c_str());
    case EXIT_HISTORY_WAITS:
    case EXIT_HISTORY_REFUSED:
        return PRIORITY_ERROR +
               Format(MsgN("written: %d record to %s; the download waits on this PC for the "
                           "shared history (exit status %d)",
                           "written: %d records to %s; the download waits on this PC for the "
                           "shared history (exit status %d)",
                           static_cast<unsigned long>(outcome.written)),
                      outcome.written, outcome.path.c_str(), outcome.status);
    case EXIT_NOT_FOUND:
        return std::string(PRIORITY_ERROR) +
               Msg("failed: instrument not found, no file written (exit status 3)");
    case EXIT_NO_ANSWER:
        return std::string(PRIORITY_ERROR) +
               Msg("failed: no answer from the instrument, no file written (exit status 4)");
    case EXIT_NOT_WRITTEN:
        return std::string(PRIORITY_ERROR) +
               Format(Msg("failed: results file %s not written (exit status 5)"),
                      outcome.path.c_str());
    case EXIT_INTERRUPTED:
        return std::string(PRIORITY_WARNING) +
               Msg("stopped: interrupted before the end, no file written");
    default:
        return PRIORITY_ERROR +
               Format(Msg("failed with exit status %d (the reason is above)"), outcome.status);
    }
}
