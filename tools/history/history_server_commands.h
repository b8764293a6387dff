// tarvex-history init: an administrator sets up the shared history on a
// PostgreSQL server (the PCs' role may not create tables).
#pragma once

#include <string>

#include "tools/history/history_options.h"

// True (and command set) for "init".
bool ParseServerCommand(const std::string& name, HistoryCommand& command);

// Its lines of the usage text.
std::string ServerUsage();

// Creates or updates the tables at location; returns the exit status.
int RunInit(const std::string& location);
