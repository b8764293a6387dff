// tarvex-history check, recover and backup: looking after the history file.
#pragma once

#include <string>

#include "tools/history/history_options.h"

// True (and command set) for "check", "recover" and "backup".
bool ParseCareCommand(const std::string& name, HistoryCommand& command);

// Their lines of the usage text.
std::string CareUsage();

// Runs one of them on the history at path; returns the exit status.
int RunCareCommand(const HistoryOptions& options, const std::string& path);

// "tarvex-history: " + the problem, with what to do about it, on standard error.
void ReportHistoryError(const char* context, const std::exception& error,
                        const std::string& remedy);
