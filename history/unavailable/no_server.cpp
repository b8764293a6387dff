// A build without libpq (TARVEX_POSTGRES off, so far the Windows one): a
// server history cannot be opened, and the programs say why.
#include "history/server_store.h"

namespace history {

namespace {

[[noreturn]] void refuse(const std::string& location) {
    throw Error(Error::Kind::CannotOpen,
                location + ": this build of Tarvex cannot use a history on a PostgreSQL server "
                           "(it was built without libpq)");
}

} // namespace

std::unique_ptr<RecordStore> openServerHistory(const std::string& location, OpenMode) {
    refuse(location);
}

ServerInit initServerHistory(const std::string& location) {
    refuse(location);
}

} // namespace history
