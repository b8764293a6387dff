// Where the reader's results file goes. --output names it; without it the
// dated name of the day is used; --output-dir gives a folder in which every
// run gets a name of its own: the date and time of the run, and a number
// when a file of the same second is there already, so that scheduled runs
// never clash with or overwrite one another.
#pragma once

#include <ctime>
#include <string>

#include "exports/results_forms.h"

// "results_2026-12-07_18-30-05.doc" for the local time t; from the second
// name of a second on, "_2", "_3" and so on before the suffix. Empty when
// the time cannot be converted.
std::string StampedName(exports::ResultsForm form, std::time_t t, int nth);

class OutputName {
public:
    // The given path, taken as it is.
    explicit OutputName(std::string path);
    // A stamped name in folder for a run started at t.
    OutputName(std::string folder, exports::ResultsForm form, std::time_t t);

    const std::string& Path() const { return m_szPath; }
    // The name is the run's own: a file found there is another run's, and
    // is kept.
    bool Stamped() const { return !m_szFolder.empty(); }
    // Moves on to the next stamped name after a clash; false for a given
    // path, or when the numbers run out.
    bool Next();

private:
    void Compose();

    std::string m_szPath;
    std::string m_szFolder;
    exports::ResultsForm m_form = exports::ResultsForm::Report;
    std::time_t m_time = 0;
    int m_nNth = 1;
};

// Makes folder and any missing parents (mode 0777 less the umask). 0, or
// the errno of the step that failed (ENOTDIR: something else has the name).
int MakeFolders(const std::string& folder);
