// The shared history on a PostgreSQL server: what openHistory uses for a
// server location, and what an administrator runs to set one up.
#pragma once

#include <memory>
#include <string>

#include "history/record_store.h"

namespace history {

// The history at a server location (see server_location.h). Throws Error:
// BadLocation, Unreachable, Refused, NotSetUp, TooNew (see record_store.h).
std::unique_ptr<RecordStore> openServerHistory(const std::string& location, OpenMode mode);

struct ServerInit {
    int versionBefore = 0; // 0: there were no tables
    int version = 0;
    std::string where;  // the server as describe() names it
    std::string grants; // the roles' GRANT statements for the administrator
};

// Creates the shared history's tables on the server or brings them up to
// date (an administrator's role that may create them). Throws Error.
ServerInit initServerHistory(const std::string& location);

} // namespace history
