// Command line of the headless reader.
#pragma once

#include <string>
#include <vector>

#include "exports/results_forms.h"

// Exit statuses of tarvex-read.
constexpr int EXIT_WRITTEN = 0;
constexpr int EXIT_BAD_USAGE = 2;
constexpr int EXIT_NOT_FOUND = 3;
constexpr int EXIT_NO_ANSWER = 4;
constexpr int EXIT_NOT_WRITTEN = 5;
// Done, but records may have been overwritten before this download (--new
// found the whole ring new for an instrument the history knew).
constexpr int EXIT_MAY_HAVE_LOST = 7;
// Written, but the shared history could not be reached: the download waits
// in this PC's history and goes there at the next connection.
constexpr int EXIT_HISTORY_WAITS = 8;
// Written, but the shared history refused the connection (password, role,
// database): the download waits on this PC until the set-up is put right.
constexpr int EXIT_HISTORY_REFUSED = 9;
constexpr int EXIT_INTERRUPTED = 130; // Ctrl-C or SIGTERM: link stopped, port saved

struct ReaderOptions {
    int m_nRecordCount = 100;
    int m_bCountGiven = 0;                                      // --count given: it caps --new too
    exports::ResultsForm m_form = exports::ResultsForm::Report; // --table, --report, --format
    std::string m_szOutput;    // empty: the proposed name in the current directory
    std::string m_szOutputDir; // non-empty: a new name with the date and time in this folder
    int m_bForce = 0;          // overwrite an existing file
    int m_nPort = 0;           // 0: the saved port
    std::string m_szDevice;    // non-empty: this device only
    int m_bListPorts = 0;
    int m_nReplyTimeout = 3000;
    int m_bHelp = 0;
    int m_bOnlyNew = 0;       // only the records the history lacks, newest back
    int m_bNoHistory = 0;     // leave the measurement history alone this run
    std::string m_szDatabase; // non-empty: this history file
};

struct ParseResult {
    bool ok = false;
    std::string error;     // one line, UTF-8
    bool badCount = false; // the record count was refused
};

// Parses args (without the program name). Numbers are taken only when they
// are plain decimal digits.
ParseResult ParseReaderOptions(const std::vector<std::string>& args, ReaderOptions& options);

// Usage text, UTF-8.
const char* ReaderUsage();
