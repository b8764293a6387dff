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
    case Error::Kind::CannotOpen:
    case Error::Kind::Other:
        break;
    }
    return {};
}

} // namespace history
