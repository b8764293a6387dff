// The shared history's tables on the server, in schema "tarvex", with a
// version as the history file has one: each step of the layout is applied
// once, in its own transaction, by an administrator (`tarvex-history init`);
// the PCs' role may not create tables and only checks the version.
#pragma once

#include <string>

#include "history/pg_connection.h"

namespace history {

int currentServerSchemaVersion();

// Throws Error: NotSetUp when the tables are missing or older than this
// program (the message says to run `tarvex-history init`), TooNew when a
// later program made them.
void checkServerSchema(PgConnection& db);

// Creates the tables or brings them up to date; several at once wait for
// each other. Returns the version found before (0: none).
int initServerSchema(PgConnection& db);

// The GRANT statements for the PCs' writer role and the viewers' read-only one.
std::string serverRoleGrants();

} // namespace history
