// Formats arbitrary records and empty cells (any float bits: NaN, infinities,
// huge values; every kind and temperature byte) in both forms and checks the
// shape of the output: every record line whole, and the text always ending
// with the complete empty-cell section, formatted here independently.
//
// Input: byte 0 flags (bit 0 table form, bit 1 ',' as separator, bit 2 take
// the count from bytes 1-2 as a signed 16-bit number instead of the records
// supplied), bytes 3..58 the empty-cell block, then 32-byte records.
#include <clocale>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "archive/archive_record.h"
#include "archive/results_writer.h"
#include "fuzz/fuzz_check.h"
#include "platform/codepage.h"

namespace {

constexpr size_t HEADER_BYTES = 3 + sizeof(EmptyCellTable);

ArchiveRecord s_records[ArchiveSlotCount];

std::vector<std::string_view> SplitLines(std::string_view text) {
    std::vector<std::string_view> lines;
    while (!text.empty()) {
        const size_t nl = text.find('\n');
        FUZZ_CHECK(nl != std::string_view::npos); // every line ends with a line feed
        lines.push_back(text.substr(0, nl));
        text.remove_prefix(nl + 1);
    }
    return lines;
}

// printf in the "C" locale with the first '.' replaced, the way both forms
// write their numbers.
std::string Number(const char* format, double value, char separator) {
    char buffer[512];
    const int n = std::snprintf(buffer, sizeof buffer, format, value);
    FUZZ_CHECK(n > 0 && static_cast<size_t>(n) < sizeof buffer);
    std::string text(buffer, static_cast<size_t>(n));
    const size_t dot = text.find('.');
    if (dot != std::string::npos)
        text[dot] = separator;
    return text;
}

size_t CountTabs(std::string_view line) {
    size_t n = 0;
    for (char c : line)
        n += c == '\t';
    return n;
}

void CheckTable(const std::vector<std::string_view>& lines, int nReportable,
                const EmptyCellTable& cells, char separator) {
    // Header, one line per record, a blank line, the cell header, six cells.
    FUZZ_CHECK(lines.size() == static_cast<size_t>(1 + nReportable + 2 + MeasuringCellCount));
    for (int i = 0; i <= nReportable; ++i)
        FUZZ_CHECK(CountTabs(lines[i]) == 9);
    FUZZ_CHECK(lines[1 + nReportable].empty());
    FUZZ_CHECK(lines[2 + nReportable] == Utf8ToCp1251("Nя\tCo,пФ\ttgDo"));
    for (int i = 0; i < MeasuringCellCount; ++i) {
        const std::string expected = std::to_string(i + 1) + "\t" +
                                     Number("%#.4f", double(cells.co(i)) * 1e12, separator) + "\t" +
                                     Number("%#.5f", double(cells.tgDo(i)), separator);
        FUZZ_CHECK(lines[3 + nReportable + i] == expected);
    }
}

void CheckReport(const std::vector<std::string_view>& lines, int nReportable,
                 const EmptyCellTable& cells) {
    const std::string asterisks(53, '*');
    // Seven lines per record, then asterisks, title, six cells, asterisks.
    FUZZ_CHECK(lines.size() == static_cast<size_t>(7 * nReportable + 2 + MeasuringCellCount + 1));
    for (int i = 0; i < nReportable; ++i)
        FUZZ_CHECK(lines[7 * i] == asterisks);
    const size_t tail = 7 * static_cast<size_t>(nReportable);
    FUZZ_CHECK(lines[tail] == asterisks);
    FUZZ_CHECK(lines[tail + 1] == Utf8ToCp1251("Параметры пустых ячеек:"));
    for (int i = 0; i < MeasuringCellCount; ++i) {
        const std::string expected = Utf8ToCp1251("ячейка N") + std::to_string(i + 1) +
                                     " Co=" + Number("%#.4f", double(cells.co(i)) * 1e12, ',') +
                                     " tgDo=" + Number("%#.5f", double(cells.tgDo(i)), ',');
        FUZZ_CHECK(lines[tail + 2 + i] == expected);
    }
    FUZZ_CHECK(lines.back() == asterisks);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < HEADER_BYTES)
        return 0;
    const int bExcelTable = data[0] & 1;
    const char separator = (data[0] & 2) ? ',' : '.';
    EmptyCellTable cells;
    std::memcpy(cells.bytes, data + 3, sizeof cells.bytes);

    const size_t nSupplied = std::min<size_t>((size - HEADER_BYTES) / 32, ArchiveSlotCount);
    std::memset(s_records, 0, sizeof s_records);
    for (size_t i = 0; i < nSupplied; ++i)
        std::memcpy(s_records[i].bytes, data + HEADER_BYTES + 32 * i, 32);
    int nCount = static_cast<int>(nSupplied);
    if (data[0] & 4)
        nCount = static_cast<int16_t>(data[1] | (data[2] << 8));

    int nReportable = 0;
    for (int i = 0; i < std::min(nCount, ArchiveSlotCount); ++i)
        nReportable += s_records[i].IsReportable();

    std::string text;
    FormatResults(s_records, nCount, cells, bExcelTable, separator, [&](std::string_view piece) {
        FUZZ_CHECK(!piece.empty());
        text.append(piece);
        return true;
    });
    const std::vector<std::string_view> lines = SplitLines(text);
    if (bExcelTable)
        CheckTable(lines, nReportable, cells, separator);
    else
        CheckReport(lines, nReportable, cells);
    return 0;
}
