// Where the history lives and whether a run uses it.
#pragma once

#include <string>

namespace history {

// Which history a program uses when no option names one: $TARVEX_DATABASE
// when set and not empty, else `Database` in the program's settings
// (tarvex.ini), else localHistoryPath(). A location is a file's path or a
// shared history's connection (postgresql://..., service=NAME).
std::string defaultHistoryPath();

// The history file of this PC: $XDG_DATA_HOME/tarvex/history.sqlite3, with
// ~/.local/share when XDG_DATA_HOME is unset or not absolute. Empty when no
// home is known. Downloads meant for a shared history wait here while it
// cannot be reached.
std::string localHistoryPath();

// $TARVEX_DATABASE, empty when unset.
std::string environmentHistory();

// The folder of path, created (with its parents) when missing. Returns the
// errno of a failure, 0 on success.
int ensureParentFolder(const std::string& path);

} // namespace history
