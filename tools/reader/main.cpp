// tarvex-read: downloads the instrument's archive without the dialog and
// writes the results file. See ReaderUsage for the command line.
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <optional>
#include <string>
#include <vector>

#include "archive/results_writer.h"
#include "exports/text_painter.h"
#include "platform/atomic_file.h"
#include "platform/messages.h"
#include "platform/program_arguments.h"
#include "tools/reader/archive_reader.h"
#include "tools/reader/interrupt_watch.h"
#include "tools/reader/output_name.h"
#include "tools/reader/port_list.h"
#include "tools/reader/progress_display.h"
#include "tools/reader/reader_options.h"
#include "tools/reader/run_summary.h"

namespace {

// The first stamped name in --output-dir that no file has yet (an earlier
// run of the same second may have one), the folder made when missing.
// Nothing when the folder cannot be made; the reason is printed.
std::optional<OutputName> FreeStampedName(const ReaderOptions& options) {
    if (const int error = MakeFolders(options.m_szOutputDir)) {
        std::fprintf(stderr, "tarvex-read: %s\n",
                     Format(Msg("cannot make the folder %s: %s"), options.m_szOutputDir.c_str(),
                            std::strerror(error))
                         .c_str());
        return std::nullopt;
    }
    OutputName output(options.m_szOutputDir, options.m_form, std::time(nullptr));
    while (CheckNewFileTarget(output.Path(), ReplacePolicy::KeepExisting).error == EEXIST &&
           output.Next()) {
    }
    return output;
}

} // namespace

int main(int argc, char** argv) {
    InitMessages();
    // A closed output or a file-size limit fails the write instead of ending
    // the run, so the download, the file and the saved port are kept.
    IgnoreBrokenPipe();
    IgnoreFileSizeSignal();
    std::vector<std::string> args = ProgramArguments(argc, argv);
    ReaderOptions options;
    ParseResult parsed = ParseReaderOptions(args, options);
    if (!parsed.ok) {
        // One line: the reason, then where the usage is.
        std::fprintf(stderr, "tarvex-read: %s%s (%s)\n",
                     parsed.badCount ? "Неправильно введено количество записей (1...2000): " : "",
                     parsed.error.c_str(), Msg("see tarvex-read --help"));
        return EXIT_BAD_USAGE;
    }
    if (options.m_bHelp) {
        std::fputs(ReaderUsage(), stdout);
        return EXIT_WRITTEN;
    }
    if (options.m_bListPorts) {
        ListPorts(stdout, options);
        return EXIT_WRITTEN;
    }

    if (!exports::FormBuilt(options.m_form)) {
        const std::string name(exports::FormName(options.m_form));
        std::fprintf(stderr, "tarvex-read: %s\n",
                     Format(Msg("this build of the program cannot write the %s form"), name.c_str())
                         .c_str());
        return EXIT_BAD_USAGE;
    }

    std::string path = options.m_szOutput;
    OutputName output(path); // the given name, or one chosen below
    if (!options.m_szOutputDir.empty()) {
        const std::optional<OutputName> stamped = FreeStampedName(options);
        if (!stamped)
            return EXIT_NOT_WRITTEN;
        output = *stamped;
        path = output.Path();
    } else if (path.empty()) {
        path = exports::ProposedName(options.m_form, std::time(nullptr));
        if (path.empty()) {
            std::fprintf(stderr, "tarvex-read: %s\n", Msg("no file name for today's date"));
            return EXIT_NOT_WRITTEN;
        }
    }
    if (!output.Stamped())
        output = OutputName(path);
    // Refused before anything is asked of the instrument: a name that is
    // taken, a folder that is missing or may not be written.
    const FileStatus target = CheckNewFileTarget(path, options.m_bForce && !output.Stamped()
                                                           ? ReplacePolicy::Replace
                                                           : ReplacePolicy::KeepExisting);
    if (target.error == EEXIST) {
        // The dated name is taken by the day's first download: the dialog's
        // rule, kept, with the ways to a second file the same day.
        const bool dated = options.m_szOutput.empty() && options.m_szOutputDir.empty();
        const std::string why =
            dated ? Format(Msg("%s exists: today's dated name is taken by an earlier download. "
                               "Name another file with --output PATH, or use --output-dir DIR "
                               "for a file named with the date and time of the run, or "
                               "overwrite it with --force."),
                           path.c_str())
                  : Format(Msg("%s exists (use --force to overwrite it)"), path.c_str());
        std::fprintf(stderr, "tarvex-read: %s\n", why.c_str());
        return EXIT_NOT_WRITTEN;
    }
    if (!target.Ok()) {
        std::fprintf(
            stderr, "tarvex-read: %s\n",
            Format(Msg("cannot write %s: %s"), path.c_str(), target.Reason().c_str()).c_str());
        return EXIT_NOT_WRITTEN;
    }

    // In the journal the tenths of the download would be noise: one summary
    // line tells what became of the run.
    const bool journal = IsJournalStream(stderr);
    ProgressDisplay display(stderr, IsTerminal(stderr), !journal);
    ArchiveReader reader(options, output, display);
    int status;
    {
        // Gone before the reader goes away.
        const InterruptWatch interrupts([&reader] { reader.Interrupt(); });
        status = reader.Run();
    }
    if (journal) {
        // After the file's line, which waits in the output buffer otherwise.
        std::fflush(stdout);
        std::fprintf(stderr, "%s\n",
                     JournalSummary({status, reader.NothingNew(), reader.RecordsWritten(),
                                     reader.OutputPath()})
                         .c_str());
    }
    exports::ReleaseFontCaches(); // the PDF report's, so that leak checkers see none
    return status;
}
