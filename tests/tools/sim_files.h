// Running the simulator to completion and reading the files it leaves.
#pragma once

#include "raw_line.h"

#include <string>
#include <vector>

// Runs tarvex-sim with args (standard output discarded) and returns its exit
// status, or -1 if it did not exit normally.
int RunSimToExit(const std::vector<std::string>& args);

Bytes ReadFileBytes(const std::string& szPath);
std::string ReadFileText(const std::string& szPath);
