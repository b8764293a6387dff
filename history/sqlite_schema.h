// The layout of the history file and the steps that bring an older file up
// to date. The file's user_version is the number of steps applied.
#pragma once

#include "history/sqlite_db.h"

namespace history {

// The version this program writes.
int currentSchemaVersion();

// The statements of step `step` (from version step to step + 1); null past the last.
const char* schemaStep(int step);

// Applies the steps from version to the current one and records the version.
// The caller holds the write transaction.
void applySchemaSteps(SqliteDb& db, int version);

} // namespace history
