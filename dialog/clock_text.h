// The two lines of the clock panel, made from a broken-down local time.
#pragma once

#include <ctime>
#include <string>

// Genitive month names (UTF-8) by month number; entry 0 stands for a failed
// time conversion.
extern const char* const g_apszMonthNames[13];

struct ClockLines {
    std::string time; // "  %d:%02d:%02d"
    std::string date; // " %d %s"
};

// pTm null means the local-time conversion failed: -1:-1:-1 and day 0 "ii".
ClockLines FormatClockLines(const std::tm* pTm);
