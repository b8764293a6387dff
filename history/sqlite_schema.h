// The layout of the history file and the steps that bring an older file up
// to date. The file's user_version is the number of steps applied.
#pragma once

#include "history/sqlite_db.h"

namespace history {

// The version this program writes.
int currentSchemaVersion();

// Brings the file up to the current version in one transaction (a new file
// gets every step). Throws Error::Kind::TooNew for a file of a later program.
void migrate(SqliteDb& db);

// Throws unless the file is at the current version (for read-only use).
void checkVersion(SqliteDb& db);

} // namespace history
