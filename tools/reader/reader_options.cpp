#include "tools/reader/reader_options.h"

#include <cstdint>

namespace {

// Plain decimal digits only: no sign, no blanks, no letters. Values above
// limit (however many digits) are reported as out of range.
enum class NumberParse { Ok, NotANumber, OutOfRange };

NumberParse ParseNumber(const std::string& text, int64_t limit, int64_t& value) {
    if (text.empty())
        return NumberParse::NotANumber;
    value = 0;
    bool tooLarge = false;
    for (char c : text) {
        if (c < '0' || c > '9')
            return NumberParse::NotANumber;
        if (!tooLarge) {
            value = value * 10 + (c - '0');
            tooLarge = value > limit;
        }
    }
    return tooLarge ? NumberParse::OutOfRange : NumberParse::Ok;
}

// Takes the value of an option given as "--opt value" or "--opt=value".
bool TakeValue(const std::vector<std::string>& args, size_t& i, const std::string& name,
               const std::string& inlineValue, bool hasInline, std::string& value,
               ParseResult& result) {
    if (hasInline) {
        value = inlineValue;
        return true;
    }
    if (i + 1 >= args.size()) {
        result.error = "option " + name + " needs a value";
        return false;
    }
    value = args[++i];
    return true;
}

bool ParseRanged(const std::string& name, const std::string& text, int lo, int hi, int& out,
                 ParseResult& result) {
    int64_t value = 0;
    NumberParse parse = ParseNumber(text, hi, value);
    if (parse == NumberParse::NotANumber) {
        result.error = name + " takes a whole number, not '" + text + "'";
        return false;
    }
    if (parse == NumberParse::OutOfRange || value < lo) {
        result.error =
            name + " must be " + std::to_string(lo) + " to " + std::to_string(hi) + ", not " + text;
        return false;
    }
    out = static_cast<int>(value);
    return true;
}

} // namespace

ParseResult ParseReaderOptions(const std::vector<std::string>& args, ReaderOptions& options) {
    ParseResult result;
    int formsGiven = 0;
    for (size_t i = 0; i < args.size(); ++i) {
        std::string name = args[i];
        std::string inlineValue;
        bool hasInline = false;
        if (name.rfind("--", 0) == 0) {
            size_t eq = name.find('=');
            if (eq != std::string::npos) {
                inlineValue = name.substr(eq + 1);
                name.resize(eq);
                hasInline = true;
            }
        }
        std::string value;
        if (name == "--count") {
            if (!TakeValue(args, i, name, inlineValue, hasInline, value, result))
                return result;
            if (!ParseRanged(name, value, 1, 2000, options.m_nRecordCount, result)) {
                result.badCount = true;
                return result;
            }
        } else if (name == "--port") {
            if (!TakeValue(args, i, name, inlineValue, hasInline, value, result) ||
                !ParseRanged(name, value, 1, 99, options.m_nPort, result))
                return result;
        } else if (name == "--timeout") {
            if (!TakeValue(args, i, name, inlineValue, hasInline, value, result) ||
                !ParseRanged(name, value, 1, 60000, options.m_nReplyTimeout, result))
                return result;
        } else if (name == "--format") {
            if (!TakeValue(args, i, name, inlineValue, hasInline, value, result))
                return result;
            const auto form = exports::FormFromName(value);
            if (!form) {
                result.error = "--format takes table, report, xlsx or pdf, not '" + value + "'";
                return result;
            }
            options.m_form = *form;
            ++formsGiven;
        } else if (name == "--output" || name == "--device" || name == "--database") {
            if (!TakeValue(args, i, name, inlineValue, hasInline, value, result))
                return result;
            if (value.empty()) {
                result.error = name + " needs a non-empty path";
                return result;
            }
            (name == "--output"   ? options.m_szOutput
             : name == "--device" ? options.m_szDevice
                                  : options.m_szDatabase) = value;
        } else if (hasInline) {
            result.error = "option " + name + " takes no value";
            return result;
        } else if (name == "--table" || name == "--report") {
            options.m_form =
                name == "--table" ? exports::ResultsForm::Table : exports::ResultsForm::Report;
            ++formsGiven;
        } else if (name == "--force") {
            options.m_bForce = 1;
        } else if (name == "--new") {
            options.m_bOnlyNew = 1;
        } else if (name == "--no-history") {
            options.m_bNoHistory = 1;
        } else if (name == "--list-ports") {
            options.m_bListPorts = 1;
        } else if (name == "--help" || name == "-h") {
            options.m_bHelp = 1;
        } else {
            result.error = "unknown argument '" + args[i] + "'";
            return result;
        }
    }
    if (options.m_bNoHistory && (!options.m_szDatabase.empty() || options.m_bOnlyNew)) {
        result.error = options.m_bOnlyNew ? "--new needs the history: drop --no-history"
                                          : "give at most one of --database and --no-history";
        return result;
    }
    if (formsGiven > 1) {
        result.error = "give at most one of --table, --report and --format";
        return result;
    }
    result.ok = true;
    return result;
}

const char* ReaderUsage() {
    return "usage: tarvex-read [--count N] [--format FORM | --table | --report] [--output PATH]\n"
           "                   [--force] [--port N | --device PATH] [--timeout MS] [--list-ports]\n"
           "                   [--new] [--database PATH | --no-history]\n"
           "Reads the last N records (1 to 2000, default 100) of the instrument's archive\n"
           "and writes them in one of four forms:\n"
           "  --format report  text report, Windows-1251 (.doc, the default)\n"
           "  --format table   tab-separated table, Windows-1251 (.xls; same as --table)\n"
           "  --format xlsx    Excel workbook with number cells (.xlsx)\n"
           "  --format pdf     PDF test report with charts (.pdf)\n"
           "  --output PATH  results file (default: the dated name in this directory)\n"
           "  --force        overwrite an existing results file\n"
           "  --port N       start the port search at COMN instead of the saved port\n"
           "  --device PATH  use this serial device only\n"
           "  --timeout MS   reply time-out of each request (default 3000)\n"
           "  --list-ports   show COM1..COM9, their devices and the serial devices present\n"
           "  --new          only the records written since the last download from this\n"
           "                 instrument (none logged yet: the last N); nothing new: no file\n"
           "  --database PATH  measurement history file (default: $TARVEX_DATABASE, or\n"
           "                 $XDG_DATA_HOME/tarvex/history.sqlite3); every download is kept there\n"
           "  --no-history   leave the measurement history alone this run\n"
           "Exit status: 0 written, 2 bad usage, 3 instrument not found,\n"
           "             4 no answer from the instrument, 5 results file not written.\n";
}
