// What the workbook and the PDF report are made of: a list of archive records,
// the empty-cell block and a title block. The records are taken with the same
// rules as the tab-separated table: only reportable ones, in list order.
#pragma once

#include <ctime>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "archive/archive_record.h"

namespace exports {

struct TitleBlock {
    std::string instrument = "Вельмар-7К"; // UTF-8
    std::time_t downloadTime = 0;          // when the records were read
    std::string port;                      // "COM2" or a device path; empty: not known
};

struct ExportContent {
    std::span<const ArchiveRecord> records;
    EmptyCellTable emptyCells{};
    TitleBlock title;
};

// What the last download brought: slots 0..nCount-1 of the record store
// (nCount clamped to the store) and the empty-cell block, with a title block
// naming the port (LinkEndpoint::Title: the port and the device behind it).
ExportContent ContentOfStore(int nCount, const std::string& port, std::time_t downloadTime);

// The records a results file shows, in order: the reportable ones.
std::vector<const ArchiveRecord*> ReportableRecords(std::span<const ArchiveRecord> records);

// A measurement time read from the BCD clock bytes; absent when a byte is not
// valid BCD or the date or time does not exist (the table then shows the raw
// digits, and so do the new forms).
struct ClockTime {
    int year, month, day, hour, minute; // year in full: 2000 + the two digits
};
std::optional<ClockTime> DecodeClock(const ArchiveRecord& record);

// The clock bytes as the table prints them: "hh:mm dd.mm.yy" in hex digits.
std::string RawClockText(const ArchiveRecord& record);

// Temperature in degrees, or none when no sensor is connected (-50 and below).
std::optional<int> Temperature(const ArchiveRecord& record);

// Co of empty cell i (0..5) in picofarads.
double EmptyCellPicofarads(const EmptyCellTable& cells, int i);

// Local date and time as "dd.mm.yyyy hh:mm"; empty when it cannot be converted.
std::string LocalTimeText(std::time_t t);

} // namespace exports
