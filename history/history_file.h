// The history file as Tarvex's own: marked with SQLite's application_id,
// created and brought up to date safely while another program may be doing
// the same, and never changed when it belongs to someone else.
#pragma once

#include <cstdint>

#include "history/sqlite_db.h"

namespace history {

// SQLite's application_id of a Tarvex history: "TVXH" in ASCII. `file(1)`
// and other tools show it; a file with another id is another program's.
constexpr std::int32_t HISTORY_APPLICATION_ID = 0x54565848;

// Makes db ready for merging. A new (empty) file gets the layout and the
// id under an exclusive transaction, so that a second program creating it
// at the same moment waits and then finds it done; an older Tarvex file is
// brought up to date and marked the same way. The file is then switched to
// WAL mode. Throws Error: NotOurs for another program's file (left as it
// was), TooNew for a later layout.
void prepareForWriting(SqliteDb& db);

// Checks that db is a Tarvex history this program can read, without writing
// anything; where the folder cannot take the -shm of a WAL file it opens db
// again as immutable. False when the file has an older layout (it needs
// prepareForWriting first). Throws Error as prepareForWriting.
bool prepareForReading(SqliteDb& db);

} // namespace history
