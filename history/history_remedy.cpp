#include "history/history_remedy.h"

#include "platform/messages.h"

namespace history {

std::string remedyFor(Error::Kind kind) {
    switch (kind) {
    case Error::Kind::ReadOnly:
        return Msg("Make the file and its folder writable, or choose another history with "
                   "--database.");
    case Error::Kind::Corrupt:
        return Msg("The history is damaged: 'tarvex-history recover' keeps what can be read in a "
                   "new file and sets the damaged one aside.");
    case Error::Kind::DiskFull:
        return Msg("Free some disk space.");
    case Error::Kind::Busy:
        return Msg("Another program has held the history for more than 10 s: try again when it "
                   "has finished.");
    case Error::Kind::TooNew:
        return Msg("Update Tarvex.");
    case Error::Kind::NotOurs:
        return Msg("Give the path of a Tarvex history file with --database, or move this file "
                   "out of the history's place.");
    case Error::Kind::LockFiles:
        return Msg("Another user or a program run as root left it: when no program uses the "
                   "history, give it back to this user (sudo chown) or remove the -shm file.");
    case Error::Kind::Unreachable:
        return Msg("Check that the history's server is running and that this PC's network "
                   "reaches it, then try again.");
    case Error::Kind::Refused:
        return Msg("Check the role and the database the location names, and the password in "
                   "~/.pgpass (or the file PGPASSFILE names) or the service in pg_service.conf; "
                   "the server's administrator grants the role its rights "
                   "(docs/postgresql.md).");
    case Error::Kind::NotSetUp:
        return Msg("An administrator runs 'tarvex-history init' with the same location, once.");
    case Error::Kind::BadLocation:
        return Msg("Give the server as postgresql://HOST/DATABASE or service=NAME, without a "
                   "password.");
    case Error::Kind::CannotOpen:
    case Error::Kind::Other:
        break;
    }
    return {};
}

} // namespace history
