// tarvex-history push and import: downloads into a shared history.
#pragma once

#include <string>

#include "tools/history/history_options.h"

// True (and command set) for "push" and "import".
bool ParseSharingCommand(const std::string& name, HistoryCommand& command);

// Their lines of the usage text.
std::string SharingUsage();

// push: what waits on this PC goes to the shared history at location.
// import: every download of options.operands[0], a history file, goes to
// the history at location. Returns the exit status.
int RunSharingCommand(const HistoryOptions& options, const std::string& location);
