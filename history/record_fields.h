// What the history reads out of a record beyond the results writer's fields:
// a comparable measurement time and a short key for finding equal records.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "archive/archive_record.h"
#include "history/record_store.h"

namespace history {

// The instrument's clock keeps the year in two digits, which a record's
// reader takes as 2000 to 2099: no record is dated outside these years.
constexpr int CLOCK_FIRST_YEAR = 2000, CLOCK_LAST_YEAR = 2099;

// The record's clock stamp as minutes since 2000-01-01, or nothing when a
// clock byte is no valid BCD or the date does not exist.
std::optional<Minutes> measuredAt(const ArchiveRecord& record);

// Minutes for a calendar date and time the clock can hold (year 2000 to
// 2099); nothing when invalid.
std::optional<Minutes> minutesOf(int year, int month, int day, int hour = 0, int minute = 0);

// The last minute the clock can hold, 2099-12-31 23:59 (the first is 0).
Minutes lastClockMinute();

// "YYYY-MM-DD HH:MM".
std::string formatMinutes(Minutes minutes);

// Parses "YYYY-MM-DD" or "DD.MM.YYYY" (a date, 00:00), any real date from
// year 1 to 9999: one outside the clock's years (negative minutes before
// 2000) is still a bound a filter can use. endOfDay gives 23:59 instead.
// Nothing when the text is no such date.
std::optional<Minutes> parseDate(const std::string& text, bool endOfDay);

// A 32-bit hash of the 32 bytes: equal records have equal keys. Used to find
// candidates; equality is always decided on the bytes themselves.
std::int64_t recordKey(const ArchiveRecord& record);

} // namespace history
