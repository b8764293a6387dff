#include "sim_options.h"

#include <charconv>
#include <climits>
#include <string_view>

const char* const SIM_USAGE =
    R"(Usage: tarvex-sim [OPTIONS]
Plays the oil-test instrument on a pseudo-terminal. The first line on standard
output is the device path; the program runs until SIGTERM or SIGINT.

Archive:
  --seed N              generate the archive from seed N (default 1)
  --archive FILE        load the archive from FILE (64056 bytes: 56-byte cell
                        block, then 2000 records of 32 bytes)
  --dump-archive FILE   write the archive to FILE in that layout and exit
  --position P          archive position sent in reply to code 11 (0..65535, default 0)
  --same-records A:B    records A+1 to B hold the same bytes as record A
Line:
  --link PATH           also make a symbolic link PATH to the device (removed at exit)
  --log FILE            append every well-formed frame received, as hex, one per line
  --no-pacing           do not pace the line at 9600 baud
  --turnaround MS       think time before each reply (default 5)
Faults (replies are counted from 1 over all codes, presence included):
  --silent              never answer
  --presence-after K    ignore the first K presence frames (not counted as replies)
  --drop-every K        do not send every K-th reply
  --corrupt-every K     send every K-th reply with its last byte before the
                        checksum inverted, so the checksum no longer matches
  --split               send every reply in two parts about 50 ms apart
  --noise MS            send a stray byte every MS milliseconds
  --delay-every K:MS    send every K-th reply MS milliseconds late
  --delay-at N,N,...:MS send the replies with these numbers MS milliseconds late
  --faults SEED:PERCENT[:LATE_MS]
                        hit PERCENT % of the replies, chosen by a generator
                        seeded with SEED, with one random fault each: drop,
                        corrupt, split, late (1 to LATE_MS ms, default 1000)
                        or noise (1 to 8 stray bytes just before the reply)
  --fault-log FILE      append each random fault to FILE: reply number, kind
  --help                show this text
)";

namespace {

bool ParseInt(std::string_view text, long long nLow, long long nHigh, long long& nValue) {
    const char* pEnd = text.data() + text.size();
    auto [ptr, ec] = std::from_chars(text.data(), pEnd, nValue);
    return ec == std::errc() && ptr == pEnd && !text.empty() && nValue >= nLow && nValue <= nHigh;
}

// SEED:PERCENT[:LATE_MS] of --faults.
bool ParseFaults(std::string_view text, SimOptions& options) {
    const auto nColon = text.find(':');
    if (nColon == std::string_view::npos)
        return false;
    const std::string_view rest = text.substr(nColon + 1);
    const auto nColon2 = rest.find(':');
    long long nSeed = 0, nPercent = 0, nLateMs = options.m_nFaultLateMs;
    if (!ParseInt(text.substr(0, nColon), 0, UINT32_MAX, nSeed) ||
        !ParseInt(rest.substr(0, nColon2), 0, 100, nPercent) ||
        (nColon2 != std::string_view::npos &&
         !ParseInt(rest.substr(nColon2 + 1), 1, 3600000, nLateMs)))
        return false;
    options.m_nFaultSeed = static_cast<uint32_t>(nSeed);
    options.m_nFaultPercent = static_cast<int>(nPercent);
    options.m_nFaultLateMs = static_cast<int>(nLateMs);
    return true;
}

// A:B of --same-records: two record indices, A not above B.
bool ParseRange(std::string_view text, SimOptions& options) {
    const auto nColon = text.find(':');
    long long nFirst = 0, nLast = 0;
    if (nColon == std::string_view::npos || !ParseInt(text.substr(0, nColon), 0, 1999, nFirst) ||
        !ParseInt(text.substr(nColon + 1), nFirst, 1999, nLast))
        return false;
    options.m_nSameFirst = static_cast<int>(nFirst);
    options.m_nSameLast = static_cast<int>(nLast);
    return true;
}

// N,N,...:MS of --delay-at.
bool ParseDelayAt(std::string_view text, SimOptions& options) {
    const auto nColon = text.rfind(':');
    long long nMs = 0;
    if (nColon == std::string_view::npos || !ParseInt(text.substr(nColon + 1), 0, 3600000, nMs))
        return false;
    std::string_view list = text.substr(0, nColon);
    options.m_delayAt.clear();
    while (true) {
        const auto nComma = list.find(',');
        long long nNumber = 0;
        if (!ParseInt(list.substr(0, nComma), 1, INT64_MAX, nNumber))
            return false;
        options.m_delayAt.push_back(nNumber);
        if (nComma == std::string_view::npos)
            break;
        list = list.substr(nComma + 1);
    }
    options.m_nDelayAtMs = static_cast<int>(nMs);
    return true;
}

} // namespace

bool ParseSimOptions(int argc, char** argv, SimOptions& options, std::string& szError) {
    for (int i = 1; i < argc; ++i) {
        std::string szName = argv[i];
        std::string szValue;
        bool bHasValue = false;
        if (const auto nEq = szName.find('=');
            szName.rfind("--", 0) == 0 && nEq != std::string::npos) {
            szValue = szName.substr(nEq + 1);
            szName.resize(nEq);
            bHasValue = true;
        }
        auto flag = [&](bool& bTarget) {
            if (bHasValue) {
                szError = szName + " takes no value";
                return false;
            }
            bTarget = true;
            return true;
        };
        auto value = [&](std::string& szTarget) {
            if (!bHasValue) {
                if (i + 1 >= argc) {
                    szError = szName + " needs a value";
                    return false;
                }
                szValue = argv[++i];
            }
            szTarget = szValue;
            return true;
        };
        auto number = [&](long long nLow, long long nHigh, long long& nTarget) {
            std::string szText;
            if (!value(szText))
                return false;
            if (!ParseInt(szText, nLow, nHigh, nTarget)) {
                szError = szName + ": '" + szText + "' is not a number from " +
                          std::to_string(nLow) + " to " + std::to_string(nHigh);
                return false;
            }
            return true;
        };
        long long n = 0;
        bool bOk = true;
        if (szName == "--help" || szName == "-h") {
            bOk = flag(options.m_bHelp);
        } else if (szName == "--seed") {
            bOk = number(0, UINT32_MAX, n);
            options.m_nSeed = static_cast<uint32_t>(n);
        } else if (szName == "--archive") {
            bOk = value(options.m_szArchivePath);
        } else if (szName == "--dump-archive") {
            bOk = value(options.m_szDumpPath);
        } else if (szName == "--position") {
            bOk = number(0, 65535, n);
            options.m_nPosition = static_cast<int>(n);
        } else if (szName == "--no-pacing") {
            bool bOff = false;
            bOk = flag(bOff);
            options.m_bPacing = false;
        } else if (szName == "--turnaround") {
            bOk = number(0, 60000, n);
            options.m_nTurnaroundMs = static_cast<int>(n);
        } else if (szName == "--link") {
            bOk = value(options.m_szLinkPath);
        } else if (szName == "--log") {
            bOk = value(options.m_szLogPath);
        } else if (szName == "--silent") {
            bOk = flag(options.m_bSilent);
        } else if (szName == "--presence-after") {
            bOk = number(0, INT_MAX, n);
            options.m_nPresenceAfter = static_cast<int>(n);
        } else if (szName == "--drop-every") {
            bOk = number(1, INT_MAX, n);
            options.m_nDropEvery = static_cast<int>(n);
        } else if (szName == "--corrupt-every") {
            bOk = number(1, INT_MAX, n);
            options.m_nCorruptEvery = static_cast<int>(n);
        } else if (szName == "--split") {
            bOk = flag(options.m_bSplit);
        } else if (szName == "--noise") {
            bOk = number(1, 3600000, n);
            options.m_nNoiseMs = static_cast<int>(n);
        } else if (szName == "--delay-every") {
            std::string szText;
            bOk = value(szText);
            const auto nColon = szText.find(':');
            long long nEvery = 0, nMs = 0;
            if (bOk && (nColon == std::string::npos ||
                        !ParseInt(std::string_view(szText).substr(0, nColon), 1, INT_MAX, nEvery) ||
                        !ParseInt(std::string_view(szText).substr(nColon + 1), 0, 3600000, nMs))) {
                szError = "--delay-every: '" + szText + "' is not K:MS (K at least 1)";
                bOk = false;
            }
            options.m_nDelayEvery = static_cast<int>(nEvery);
            options.m_nDelayMs = static_cast<int>(nMs);
        } else if (szName == "--delay-at") {
            std::string szText;
            bOk = value(szText) && ParseDelayAt(szText, options);
            if (!bOk && szError.empty())
                szError = "--delay-at: '" + szText + "' is not N,N,...:MS (N at least 1)";
        } else if (szName == "--same-records") {
            std::string szText;
            bOk = value(szText) && ParseRange(szText, options);
            if (!bOk && szError.empty())
                szError = "--same-records: '" + szText + "' is not A:B (0 <= A <= B <= 1999)";
        } else if (szName == "--faults") {
            std::string szText;
            bOk = value(szText) && ParseFaults(szText, options);
            if (!bOk && szError.empty())
                szError = "--faults: '" + szText + "' is not SEED:PERCENT[:LATE_MS]";
        } else if (szName == "--fault-log") {
            bOk = value(options.m_szFaultLogPath);
        } else {
            szError = "unknown option '" + std::string(argv[i]) + "'";
            bOk = false;
        }
        if (!bOk)
            return false;
    }
    return true;
}
