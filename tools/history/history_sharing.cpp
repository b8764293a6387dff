#include "tools/history/history_sharing.h"

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <system_error>
#include <unistd.h>

#include "history/history_location.h"
#include "history/history_path.h"
#include "history/history_remedy.h"
#include "history/history_replay.h"
#include "history/pending_downloads.h"
#include "history/server_location.h"
#include "platform/file_names.h"
#include "platform/messages.h"
#include "tools/history/history_care_commands.h"

namespace {

void Say(const std::string& line) {
    std::fprintf(stderr, "tarvex-history: %s\n", line.c_str());
}

std::string Downloads(long long count) {
    return Format(MsgN("%lld download", "%lld downloads", static_cast<unsigned long>(count)),
                  count);
}

// "copied 120 of 500 downloads" on one terminal line, at most five times a
// second; elsewhere (a log) a line at each tenth of a long run.
class ReplayProgress {
public:
    explicit ReplayProgress(const char* verb) : m_verb(verb), m_terminal(isatty(2) != 0) {}
    ~ReplayProgress() {
        if (m_shown && m_terminal)
            std::fputc('\n', stderr);
    }
    void operator()(int handled, int total) {
        m_handled = handled;
        const auto now = std::chrono::steady_clock::now();
        bool show = false;
        if (m_terminal) {
            show = handled == total || now - m_last >= std::chrono::milliseconds(200);
        } else if (total >= 100) {
            const int tenth = handled * 10 / total;
            show = tenth != m_tenth;
            m_tenth = tenth;
        }
        if (!show)
            return;
        m_last = now;
        m_shown = true;
        const std::string text =
            Format(Msg("%s: %d of %s"), m_verb, handled, Downloads(total).c_str());
        if (m_terminal)
            std::fprintf(stderr, "\r%s", text.c_str());
        else
            std::fprintf(stderr, "tarvex-history: %s\n", text.c_str());
        std::fflush(stderr);
    }
    int Handled() const { return m_handled; }

private:
    const char* m_verb;
    bool m_terminal;
    bool m_shown = false;
    int m_handled = 0;
    int m_tenth = 0;
    std::chrono::steady_clock::time_point m_last{};
};

// The shared history would not open: why, what to do, and the status.
int SharedProblem(const history::Error& error) {
    const bool refused = history::refusedConnection(error.kind());
    Say(Format(refused ? Msg("the shared history refused the connection: %s")
                       : Msg("the shared history cannot be reached: %s"),
               error.what()));
    if (const std::string remedy = history::remedyFor(error.kind()); !remedy.empty())
        Say(remedy);
    return refused ? HISTORY_SHARED_REFUSED : HISTORY_SHARED_AWAY;
}

int TargetProblem(const std::string& location, const history::Error& error) {
    if (history::isServerHistory(location))
        return SharedProblem(error);
    ReportHistoryError(Msg("the history was not changed: %s"), error,
                       history::remedyFor(error.kind()));
    return HISTORY_NOT_READABLE;
}

void PrintTally(const history::ReplayTally& tally, const std::string& into) {
    std::printf("%s\n",
                Format(Msg("%s: %s added (%lld new records, %lld already there), %s there "
                           "already"),
                       into.c_str(), Downloads(tally.downloads).c_str(),
                       static_cast<long long>(tally.added), static_cast<long long>(tally.known),
                       Downloads(tally.knownDownloads).c_str())
                    .c_str());
    if (tally.named > 0)
        std::printf("%s\n", Format(MsgN("%d instrument took its name",
                                        "%d instruments took their "
                                        "names",
                                        static_cast<unsigned long>(tally.named)),
                                   tally.named)
                                .c_str());
    for (const std::string& name : tally.namesTaken)
        Say(Format(Msg("the name '%s' was not carried over: another instrument there has it "
                       "(tarvex-history instruments, name)"),
                   name.c_str()));
}

int Push(const std::string& location) {
    if (!history::isServerHistory(location)) {
        Say(Msg("push sends the downloads waiting on this PC to a shared history: name it "
                "with --database, TARVEX_DATABASE or Database in tarvex.ini"));
        return HISTORY_BAD_USAGE;
    }
    const std::string local = history::localHistoryPath();
    const std::int64_t waiting = history::pendingCount(local);
    if (waiting == 0) {
        std::printf("%s\n", Msg("Nothing waits on this PC for the shared history."));
        return HISTORY_OK;
    }
    std::unique_ptr<history::RecordStore> shared;
    try {
        shared = history::openHistory(location, history::OpenMode::ReadWrite);
    } catch (const history::Error& error) {
        Say(Format(Msg("%s still wait on this PC (%s)"), Downloads(waiting).c_str(),
                   local.c_str()));
        return SharedProblem(error);
    }
    ReplayProgress progress(Msg("sent"));
    try {
        const history::ReplayTally tally = history::pushWaiting(
            local, *shared, [&](int handled, int total) { progress(handled, total); });
        PrintTally(tally, shared->describe());
    } catch (const history::Error& error) {
        Say(Format(Msg("sending stopped after %s: %s"), Downloads(progress.Handled()).c_str(),
                   error.what()));
        Say(Format(Msg("the rest still waits on this PC (%s): run tarvex-history push again"),
                   local.c_str()));
        return history::refusedConnection(error.kind()) ? HISTORY_SHARED_REFUSED
                                                        : HISTORY_SHARED_AWAY;
    }
    return HISTORY_OK;
}

bool SameFile(const std::string& a, const std::string& b) {
    std::error_code ec;
    return std::filesystem::equivalent(FsPath(a), FsPath(b), ec);
}

int Import(const std::string& file, const std::string& location) {
    std::error_code ec;
    if (!std::filesystem::is_regular_file(FsPath(file), ec)) {
        Say(Format(Msg("%s is no history file"), file.c_str()));
        return HISTORY_NOT_READABLE;
    }
    if (!history::isServerHistory(location) && SameFile(file, location)) {
        Say(Format(Msg("%s is the history to import into: name another with --database"),
                   file.c_str()));
        return HISTORY_BAD_USAGE;
    }
    std::unique_ptr<history::RecordStore> from;
    try {
        from = history::openHistory(file, history::OpenMode::ReadOnly);
    } catch (const history::Error& error) {
        ReportHistoryError(Msg("the history to import cannot be read: %s"), error,
                           history::remedyFor(error.kind()));
        return HISTORY_NOT_READABLE;
    }
    std::unique_ptr<history::RecordStore> into;
    try {
        if (!history::isServerHistory(location))
            history::ensureParentFolder(location);
        into = history::openHistory(location, history::OpenMode::ReadWrite);
    } catch (const history::Error& error) {
        return TargetProblem(location, error);
    }
    ReplayProgress progress(Msg("imported"));
    history::ReplayHooks hooks;
    hooks.progress = [&](int handled, int total) { progress(handled, total); };
    try {
        const history::ReplayTally tally = history::replayDownloads(*from, *into, hooks);
        PrintTally(tally, into->describe());
    } catch (const history::Error& error) {
        Say(Format(Msg("importing stopped after %s: %s"), Downloads(progress.Handled()).c_str(),
                   error.what()));
        Say(Msg("run the same import again: what is there already is not copied twice"));
        if (!history::isServerHistory(location))
            return HISTORY_NOT_WRITTEN;
        return history::refusedConnection(error.kind()) ? HISTORY_SHARED_REFUSED
                                                        : HISTORY_SHARED_AWAY;
    }
    return HISTORY_OK;
}

} // namespace

bool ParseSharingCommand(const std::string& name, HistoryCommand& command) {
    if (name == "push")
        command = HistoryCommand::Push;
    else if (name == "import")
        command = HistoryCommand::Import;
    else
        return false;
    return true;
}

std::string SharingUsage() {
    return std::string(
               Msg("  push           send the downloads that wait on this PC (kept while the\n"
                   "                 shared history could not be reached) to it\n")) +
           Msg("  import FILE    copy every download of the history file FILE, with its\n"
               "                 records, into the history chosen (a second run adds\n"
               "                 nothing)\n");
}

int RunSharingCommand(const HistoryOptions& options, const std::string& location) {
    if (options.command == HistoryCommand::Push)
        return Push(location);
    return Import(options.operands.at(0), location);
}
