#include "exports/export_content.h"

#include "archive/results_format.h"

#include <algorithm>

namespace exports {

ExportContent ContentOfStore(int nCount, const std::string& port, std::time_t downloadTime) {
    ExportContent content;
    content.records = std::span<const ArchiveRecord>(
        g_records, static_cast<std::size_t>(std::clamp(nCount, 0, ArchiveSlotCount)));
    content.emptyCells = g_emptyCells;
    content.title.downloadTime = downloadTime;
    content.title.port = port;
    return content;
}

std::vector<ExportBlock> BlocksOf(const ExportContent& content) {
    if (content.blocks.size() > 1)
        return content.blocks;
    return {ExportBlock{content.records, content.emptyCells, content.title.instrument,
                        content.title.firstDownloadTime, content.title.downloadTime}};
}

std::string ReadTimeText(std::time_t first, std::time_t last) {
    const std::string from = LocalTimeText(first), to = LocalTimeText(last);
    if (first == 0 || from == to) // within one minute
        return to;
    return from + " – " + to;
}

std::vector<const ArchiveRecord*> ReportableRecords(std::span<const ArchiveRecord> records) {
    std::vector<const ArchiveRecord*> kept;
    kept.reserve(records.size());
    for (const ArchiveRecord& record : records) {
        if (record.IsReportable())
            kept.push_back(&record);
    }
    return kept;
}

namespace {

// The value of a packed BCD byte, or -1 when a nibble is not a decimal digit.
int FromBcd(uint8_t byte) {
    const int high = byte >> 4, low = byte & 0x0F;
    return high > 9 || low > 9 ? -1 : high * 10 + low;
}

bool IsLeapYear(int year) {
    return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
}

int DaysInMonth(int year, int month) {
    static const int days[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return month == 2 && IsLeapYear(year) ? 29 : days[month - 1];
}

} // namespace

std::optional<ClockTime> DecodeClock(const ArchiveRecord& record) {
    const int yy = FromBcd(record.yearBcd()), month = FromBcd(record.monthBcd()),
              day = FromBcd(record.dayBcd()), hour = FromBcd(record.hourBcd()),
              minute = FromBcd(record.minuteBcd());
    if (yy < 0 || month < 1 || month > 12 || day < 1 || hour < 0 || hour > 23 || minute < 0 ||
        minute > 59)
        return std::nullopt;
    const int year = 2000 + yy;
    if (day > DaysInMonth(year, month))
        return std::nullopt;
    return ClockTime{year, month, day, hour, minute};
}

std::string RawClockText(const ArchiveRecord& r) {
    return FormatClassic("%02x:%02x %02x.%02x.%02x", unsigned(r.hourBcd()), unsigned(r.minuteBcd()),
                         unsigned(r.dayBcd()), unsigned(r.monthBcd()), unsigned(r.yearBcd()));
}

std::optional<int> Temperature(const ArchiveRecord& record) {
    if (record.temperature() < -49)
        return std::nullopt;
    return record.temperature();
}

double EmptyCellPicofarads(const EmptyCellTable& cells, int i) {
    return double(cells.co(i)) * 1e12;
}

std::string LocalTimeText(std::time_t t) {
    std::tm local{};
    if (localtime_r(&t, &local) == nullptr)
        return {};
    char text[64];
    const std::size_t n = std::strftime(text, sizeof text, "%d.%m.%Y %H:%M", &local);
    return std::string(text, n);
}

} // namespace exports
