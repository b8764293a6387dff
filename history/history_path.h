// Where the history lives and whether a run uses it.
#pragma once

#include <string>

namespace history {

// $TARVEX_DATABASE when set and not empty; otherwise
// $XDG_DATA_HOME/tarvex/history.sqlite3, with ~/.local/share when
// XDG_DATA_HOME is unset or not absolute. Empty when no home is known.
std::string defaultHistoryPath();

// The folder of path, created (with its parents) when missing. Returns the
// errno of a failure, 0 on success.
int ensureParentFolder(const std::string& path);

} // namespace history
