#include "history/record_fields.h"

#include <cstdio>
#include <cstring>

namespace history {

namespace {

constexpr Minutes MINUTES_PER_DAY = 24 * 60;

// Days since 1970-01-01 of a proleptic Gregorian date (Howard Hinnant's method).
std::int64_t daysFromCivil(int y, int m, int d) {
    y -= m <= 2 ? 1 : 0;
    const int era = (y >= 0 ? y : y - 399) / 400;
    const unsigned yoe = static_cast<unsigned>(y - era * 400);
    const unsigned doy =
        (153 * static_cast<unsigned>(m + (m > 2 ? -3 : 9)) + 2) / 5 + static_cast<unsigned>(d) - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return static_cast<std::int64_t>(era) * 146097 + static_cast<std::int64_t>(doe) - 719468;
}

void civilFromDays(std::int64_t z, int& y, int& m, int& d) {
    z += 719468;
    const std::int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const unsigned doe = static_cast<unsigned>(z - era * 146097);
    const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const unsigned mp = (5 * doy + 2) / 153;
    d = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
    m = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
    y = static_cast<int>(yoe) + static_cast<int>(era) * 400 + (m <= 2 ? 1 : 0);
}

const std::int64_t EPOCH_DAYS = daysFromCivil(2000, 1, 1);

int daysInMonth(int year, int month) {
    static const int days[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
    return month == 2 && leap ? 29 : days[month - 1];
}

// -1 when the byte is not two decimal digits.
int fromBcd(uint8_t byte) {
    const int high = byte >> 4;
    const int low = byte & 0x0F;
    return high > 9 || low > 9 ? -1 : high * 10 + low;
}

// Minutes for any proleptic Gregorian date of years 1 to 9999.
std::optional<Minutes> calendarMinutes(int year, int month, int day, int hour, int minute) {
    if (year < 1 || year > 9999 || month < 1 || month > 12 || day < 1 ||
        day > daysInMonth(year, month) || hour < 0 || hour > 23 || minute < 0 || minute > 59)
        return std::nullopt;
    return (daysFromCivil(year, month, day) - EPOCH_DAYS) * MINUTES_PER_DAY + hour * 60 + minute;
}

} // namespace

std::optional<Minutes> minutesOf(int year, int month, int day, int hour, int minute) {
    if (year < CLOCK_FIRST_YEAR || year > CLOCK_LAST_YEAR)
        return std::nullopt;
    return calendarMinutes(year, month, day, hour, minute);
}

Minutes lastClockMinute() {
    return *minutesOf(CLOCK_LAST_YEAR, 12, 31, 23, 59);
}

std::optional<Minutes> measuredAt(const ArchiveRecord& record) {
    const int year = fromBcd(record.yearBcd());
    const int month = fromBcd(record.monthBcd());
    const int day = fromBcd(record.dayBcd());
    const int hour = fromBcd(record.hourBcd());
    const int minute = fromBcd(record.minuteBcd());
    if (year < 0 || month < 0 || day < 0 || hour < 0 || minute < 0)
        return std::nullopt;
    return minutesOf(CLOCK_FIRST_YEAR + year, month, day, hour, minute);
}

std::string formatMinutes(Minutes minutes) {
    const std::int64_t days = minutes >= 0 ? minutes / MINUTES_PER_DAY
                                           : -((-minutes + MINUTES_PER_DAY - 1) / MINUTES_PER_DAY);
    const auto rest = static_cast<int>(minutes - days * MINUTES_PER_DAY);
    int y = 0, m = 0, d = 0;
    civilFromDays(days + EPOCH_DAYS, y, m, d);
    char text[32];
    std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d", y, m, d, rest / 60, rest % 60);
    return text;
}

std::optional<Minutes> parseDate(const std::string& text, bool endOfDay) {
    int y = 0, m = 0, d = 0;
    char tail = 0;
    const bool iso = text.size() == 10 && text[4] == '-' && text[7] == '-' &&
                     std::sscanf(text.c_str(), "%4d-%2d-%2d%c", &y, &m, &d, &tail) == 3;
    const bool dotted = !iso && text.size() == 10 && text[2] == '.' && text[5] == '.' &&
                        std::sscanf(text.c_str(), "%2d.%2d.%4d%c", &d, &m, &y, &tail) == 3;
    if (!iso && !dotted)
        return std::nullopt;
    for (char c : text)
        if ((c < '0' || c > '9') && c != '-' && c != '.')
            return std::nullopt;
    return endOfDay ? calendarMinutes(y, m, d, 23, 59) : calendarMinutes(y, m, d, 0, 0);
}

std::int64_t recordKey(const ArchiveRecord& record) {
    // FNV-1a, folded to 32 bits: small in the file and its index; the few
    // records that share a key are told apart by their bytes.
    std::uint64_t hash = 14695981039346656037ull;
    for (uint8_t byte : record.bytes) {
        hash ^= byte;
        hash *= 1099511628211ull;
    }
    const auto folded = static_cast<std::uint32_t>(hash ^ (hash >> 32));
    std::int32_t key = 0;
    std::memcpy(&key, &folded, sizeof key);
    return key;
}

} // namespace history
