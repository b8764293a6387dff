// tarvex.exe: the dialog that reads the instrument's archive, on Windows.
#include <string>
#include <vector>

#include "app/win32/dialog_window.h"
#include "app/win32/modal_boxes.h"
#include "dialog/reader_logic.h"
#include "platform/messages.h"
#include "platform/program_arguments.h"

#include <windows.h>

#include <commctrl.h>

namespace {

constexpr int EXIT_BAD_USAGE = 2;

// For a box, whose lines the box breaks itself.
std::string Usage() {
    return std::string("tarvex.exe [--database PATH | --no-history]\n\n") +
           Msg("Opens the dialog that reads the measurement archive of the oil tester over a "
               "serial port and saves it as a results file.") +
           "\n\n--database PATH\n" +
           Msg("the measurement history file (default: %TARVEX_DATABASE%, or "
               "%LOCALAPPDATA%\\Tarvex\\history.sqlite3)") +
           "\n--no-history\n" + Msg("leave the measurement history alone this run") + "\n\n" +
           Msg("Without a window: tarvex-read.exe; the history: tarvex-history.exe.");
}

struct Options {
    std::string database;
    bool noHistory = false;
    bool help = false;
    std::string error; // empty when the command line is good
};

Options ParseOptions(const std::vector<std::string>& args) {
    Options options;
    for (size_t i = 0; i < args.size() && options.error.empty(); ++i) {
        const std::string& arg = args[i];
        if (arg == "--help" || arg == "-h" || arg == "/?")
            options.help = true;
        else if (arg == "--no-history")
            options.noHistory = true;
        else if (arg == "--database" && i + 1 < args.size())
            options.database = args[++i];
        else if (arg == "--database")
            options.error = Format(Msg("%s needs a value"), arg.c_str());
        else
            options.error = Format(Msg("unknown argument '%s'"), arg.c_str());
    }
    return options;
}

} // namespace

int WINAPI wWinMain(HINSTANCE hInstance, HINSTANCE, PWSTR, int) {
    InitMessages();
    const Options options = ParseOptions(ProgramArguments(0, nullptr));
    // A program without a console answers the command line in a box.
    if (!options.error.empty()) {
        ShowBox(nullptr, options.error + "\n\n" + Usage(), BoxIcon::Error);
        return EXIT_BAD_USAGE;
    }
    if (options.help) {
        ShowBox(nullptr, Usage(), BoxIcon::Information);
        return 0;
    }
    const INITCOMMONCONTROLSEX controls{sizeof controls, ICC_STANDARD_CLASSES | ICC_PROGRESS_CLASS |
                                                             ICC_UPDOWN_CLASS | ICC_BAR_CLASSES |
                                                             ICC_TAB_CLASSES};
    ::InitCommonControlsEx(&controls);

    DialogWindow window(hInstance);
    {
        // The logic owns the link; its window's closing saves the port, and
        // Shutdown stops the link once the window is gone.
        ReaderLogic logic(window);
        logic.m_szHistoryPath = options.database;
        logic.m_bNoHistory = options.noHistory;
        window.Run(logic);
        logic.Shutdown();
    }
    return 0;
}
