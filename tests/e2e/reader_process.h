// Runs tarvex-read as a child process in a given directory and collects its
// output and exit status. A run that outlives its limit is killed and
// reported, so no test can hang on it.
#pragma once

#include <functional>
#include <string>
#include <vector>

struct ReaderRun {
    int status = -1; // exit status; -1 when it did not exit normally
    bool timedOut = false;
    std::string out;
    std::string err;
};

// onErrLine is called for each line of the reader's stderr as it comes.
ReaderRun RunReader(const std::vector<std::string>& args, const std::string& directory,
                    const std::function<void(const std::string&)>& onErrLine = {},
                    int limitSeconds = 240);
