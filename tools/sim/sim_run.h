// The simulator's event loop on the pseudo-terminal.
#pragma once

#include "sim_archive.h"
#include "sim_options.h"
#include "sim_pty.h"

// Serves the line until SIGTERM or SIGINT; returns the exit status.
int RunSimulator(const SimOptions& options, const SimArchive& archive, PseudoTerminal& pty,
                 int nLogFd);
