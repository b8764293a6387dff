// Which history a program uses: the local file or a shared one on a server,
// chosen by option, environment or settings, and how a location is shown.
#pragma once

#include <string>

#include "history/record_store.h"

namespace history {

// The key in the program's settings (tarvex.ini, section [Tarvex]) that
// names the history for the dialog and the programs alike.
constexpr const char* DATABASE_SETTING = "Database";

enum class LocationSource { Option, Environment, Settings, LocalFile };

struct HistoryLocation {
    std::string location; // a file's path, or a server's connection string
    LocationSource source = LocationSource::LocalFile;
};

// option when not empty, else $TARVEX_DATABASE, else the Database setting,
// else this PC's history file.
HistoryLocation chooseHistory(const std::string& option);

// location fit to be printed: a password in it, which the store refuses
// anyway, is masked so that no message or log repeats it.
std::string shownLocation(const std::string& location);

// Whether a failure of a shared history is a fault of its set-up (the
// server said no to the password, role or database; a location it will not
// use; tables not made) that trying again will not mend, rather than its
// absence (Unreachable, Busy) that passes.
bool refusedConnection(Error::Kind kind);

} // namespace history
