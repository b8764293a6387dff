#include "tools/history/history_server_commands.h"

#include <cstdio>

#include "history/history_remedy.h"
#include "history/server_location.h"
#include "history/server_store.h"
#include "platform/messages.h"
#include "tools/history/history_care_commands.h"

bool ParseServerCommand(const std::string& name, HistoryCommand& command) {
    if (name != "init")
        return false;
    command = HistoryCommand::Init;
    return true;
}

std::string ServerUsage() {
    return Msg("  init LOCATION  create the shared history's tables on a PostgreSQL server,\n"
               "                 or bring them up to date (an administrator, once; prints\n"
               "                 the grants for the PCs' and the viewers' roles)\n");
}

int RunInit(const std::string& location) {
    if (!history::isServerHistory(location)) {
        std::fprintf(stderr, "tarvex-history: %s\n",
                     Format(Msg("init sets up a history on a PostgreSQL server "
                                "(postgresql://HOST/DATABASE or service=NAME), not '%s': a "
                                "history file is made by the first download"),
                            location.c_str())
                         .c_str());
        return HISTORY_BAD_USAGE;
    }
    try {
        const history::ServerInit init = history::initServerHistory(location);
        if (init.versionBefore == init.version)
            std::printf("%s\n", Format(Msg("%s: the shared history is up to date (layout %d)"),
                                       init.where.c_str(), init.version)
                                    .c_str());
        else if (init.versionBefore == 0)
            std::printf("%s\n", Format(Msg("%s: the shared history was created (layout %d)"),
                                       init.where.c_str(), init.version)
                                    .c_str());
        else
            std::printf("%s\n",
                        Format(Msg("%s: the shared history was brought from layout %d to %d"),
                               init.where.c_str(), init.versionBefore, init.version)
                            .c_str());
        std::printf("%s\n%s",
                    Msg("The roles the PCs and the viewers log in with get their "
                        "rights from these statements (run them once as the "
                        "database's owner):"),
                    init.grants.c_str());
        return HISTORY_OK;
    } catch (const history::Error& e) {
        ReportHistoryError(Msg("the shared history was not set up: %s"), e,
                           history::remedyFor(e.kind()));
        return HISTORY_NOT_READABLE;
    }
}
