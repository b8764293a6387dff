// Runs tarvex-read in a given directory and collects its output and exit
// status. A run that outlives its limit is killed, so no test can hang on it.
#pragma once

#include <string>
#include <vector>

struct ReaderRun {
    int status = -1; // exit status; 137 when killed at the limit
    std::string out, err;
};

// historyPath becomes TARVEX_DATABASE; empty: a throwaway file of this run.
ReaderRun RunReader(const std::vector<std::string>& args, const std::string& directory,
                    unsigned limitSeconds = 240, const std::string& historyPath = {});

// The whole file, or empty when it cannot be read.
std::string ReadFile(const std::string& path);
