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
    std::time_t firstDownloadTime = 0;     // earlier: read over downloads from then on
};

// Records that share one set of empty-cell parameters: what one instrument's
// downloads brought in while its empty cells stayed the same.
struct ExportBlock {
    std::span<const ArchiveRecord> records;
    EmptyCellTable emptyCells{};
    std::string instrument;    // how the history names the instrument, UTF-8
    std::time_t firstRead = 0; // when its records were read: the earliest
    std::time_t lastRead = 0;  // and the latest download among them
};

struct ExportContent {
    std::span<const ArchiveRecord> records;
    EmptyCellTable emptyCells{};
    TitleBlock title;
    // Two or more when the records come from downloads with different empty
    // cells: each block is a run of records (in that order) with its own
    // cells, and emptyCells above is not used. Otherwise empty.
    std::vector<ExportBlock> blocks;
};

// The blocks of content as the forms write them: its own, or one block of all
// the records with content.emptyCells.
std::vector<ExportBlock> BlocksOf(const ExportContent& content);

// "dd.mm.yyyy hh:mm", or "dd.mm.yyyy hh:mm – dd.mm.yyyy hh:mm" when the
// records were read over several downloads: when a block's records were read.
std::string ReadTimeText(std::time_t first, std::time_t last);

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
