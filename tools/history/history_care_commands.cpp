#include "tools/history/history_care_commands.h"

#include <cstdio>

#include "history/history_care.h"
#include "history/history_remedy.h"
#include "platform/messages.h"

bool ParseCareCommand(const std::string& name, HistoryCommand& command) {
    if (name == "check")
        command = HistoryCommand::Check;
    else if (name == "recover")
        command = HistoryCommand::Recover;
    else if (name == "backup")
        command = HistoryCommand::Backup;
    else
        return false;
    return true;
}

std::string CareUsage() {
    return std::string(Msg("  check          read the whole file and say whether it is sound\n")) +
           Msg("  recover        copy what can be read into a new history; the damaged\n"
               "                 file is set aside beside it, nothing is deleted\n") +
           Msg("  backup PATH    a consistent copy of the history, also while it is in use\n"
               "                 (--force replaces an existing PATH)\n");
}

void ReportHistoryError(const char* context, const std::exception& error,
                        const std::string& remedy) {
    std::fprintf(stderr, "tarvex-history: %s\n", Format(context, error.what()).c_str());
    if (!remedy.empty())
        std::fprintf(stderr, "tarvex-history: %s\n", remedy.c_str());
}

namespace {

int Check(const std::string& path) {
    const history::CheckReport report = history::checkHistory(path);
    if (report.problems.empty()) {
        std::printf("%s\n", Format(Msg("%s: sound"), path.c_str()).c_str());
        return HISTORY_OK;
    }
    std::printf("%s\n", Format(Msg("%s: DAMAGED"), path.c_str()).c_str());
    for (const std::string& problem : report.problems)
        std::printf("  %s\n", problem.c_str());
    std::printf("%s\n", history::remedyFor(history::Error::Kind::Corrupt).c_str());
    return HISTORY_DAMAGED;
}

int Recover(const std::string& path) {
    const history::RecoverReport report = history::recoverHistory(path);
    std::printf("%s\n",
                Format(Msg("%s: a new history with the %lld records and %lld downloads that could "
                           "be read (%d damaged places skipped)"),
                       path.c_str(), static_cast<long long>(report.records),
                       static_cast<long long>(report.downloads), report.damagedPlaces)
                    .c_str());
    std::printf("%s\n",
                Format(Msg("the damaged file is kept as %s"), report.setAsideAs.c_str()).c_str());
    return HISTORY_OK;
}

} // namespace

int RunCareCommand(const HistoryOptions& options, const std::string& path) {
    try {
        switch (options.command) {
        case HistoryCommand::Check:
            return Check(path);
        case HistoryCommand::Recover:
            return Recover(path);
        case HistoryCommand::Backup:
            break;
        default:
            return HISTORY_BAD_USAGE;
        }
    } catch (const history::Error& error) {
        ReportHistoryError(Msg("the history cannot be read: %s"), error,
                           history::remedyFor(error.kind()));
        return HISTORY_NOT_READABLE;
    }
    std::string problem;
    try {
        problem = history::backupHistory(path, {options.output, options.force});
    } catch (const history::Error& error) {
        ReportHistoryError(Msg("the history cannot be read: %s"), error,
                           history::remedyFor(error.kind()));
        return HISTORY_NOT_READABLE;
    }
    if (!problem.empty()) {
        std::fprintf(stderr, "tarvex-history: %s\n",
                     Format(Msg("the copy was not written: %s"), problem.c_str()).c_str());
        return HISTORY_NOT_WRITTEN;
    }
    std::printf("%s\n",
                Format(Msg("%s: a copy of %s"), options.output.c_str(), path.c_str()).c_str());
    return HISTORY_OK;
}
