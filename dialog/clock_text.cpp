#include "dialog/clock_text.h"

#include <cstdio>

const char* const g_apszMonthNames[13] = {
    "ii",   "января",  "февраля",  "марта",   "апреля", "мая",     "июня",
    "июля", "августа", "сентября", "октября", "ноября", "декабря",
};

ClockLines FormatClockLines(const std::tm* pTm) {
    int nHour = -1, nMinute = -1, nSecond = -1, nDay = 0, nMonth = 0;
    if (pTm != nullptr) {
        nHour = pTm->tm_hour;
        nMinute = pTm->tm_min;
        nSecond = pTm->tm_sec;
        nDay = pTm->tm_mday;
        nMonth = pTm->tm_mon + 1;
    }
    // A month outside the table would read past it; show it as a failure.
    if (nMonth < 0 || nMonth > 12)
        nMonth = 0;

    char szLine[64];
    ClockLines lines;
    std::snprintf(szLine, sizeof szLine, "  %d:%02d:%02d", nHour, nMinute, nSecond);
    lines.time = szLine;
    std::snprintf(szLine, sizeof szLine, " %d %s", nDay, g_apszMonthNames[nMonth]);
    lines.date = szLine;
    return lines;
}
