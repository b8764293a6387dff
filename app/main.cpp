// Tarvex: reads the measurement archive of the oil-testing instrument.
#include <cstdio>
#include <cstring>
#include <string>

#include "app/reader_app.h"
#include "platform/atomic_file.h"
#include "platform/messages.h"

namespace {

// --help is answered before any window or display is needed.
bool WantsHelp(int argc, char** argv) {
    for (int i = 1; i < argc; ++i)
        if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0)
            return true;
    return false;
}

void PrintUsage() {
    InitMessages();
    const std::string usage =
        std::string("usage: tarvex [--database LOCATION | --no-history]\n") +
        Msg("Opens the dialog that reads the measurement archive of the oil tester over a\n"
            "serial port and saves it as a results file.\n") +
        Msg("  --database LOCATION  the measurement history: a file, or a shared history\n"
            "                 as service=NAME or postgresql://HOST/DB (default:\n"
            "                 $TARVEX_DATABASE, else Database in tarvex.ini, else\n"
            "                 $XDG_DATA_HOME/tarvex/history.sqlite3)\n") +
        Msg("  --no-history   leave the measurement history alone this run\n") +
        Msg("Without a window: tarvex-read; the history: tarvex-history.\n");
    std::fputs(usage.c_str(), stdout);
}

} // namespace

int main(int argc, char** argv) {
    if (WantsHelp(argc, argv)) {
        PrintUsage();
        return 0;
    }
    // A file-size limit fails a write (and the user is told) instead of
    // ending the program with the downloaded records.
    IgnoreFileSizeSignal();
    ReaderApp app(argc, argv);
    return app.InitInstance();
}
