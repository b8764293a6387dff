#include "exports/workbook_writer.h"

#include <cmath>
#include <xlsxwriter.h>

#include "platform/locale.h"

namespace exports {

namespace {

enum Column { Time, Cell, Sample, Temp, Volts, Hertz, Label, Value, Tgd, ColumnCount };

struct ColumnSpec {
    const char* header;
    double width;
};

// Header texts with units, and widths that fit them and the autofilter button.
constexpr ColumnSpec RECORD_COLUMNS[ColumnCount] = {
    {"Дата и время", 18}, {"Nя", 6},        {"Проба", 9},        {"Темп., °С", 11},  {"U, В", 10},
    {"F, Гц", 9},         {"Величина", 11}, {"Ex, Co (пФ)", 14}, {"tgDx, tgDo", 13},
};

struct Formats {
    lxw_format* header;
    lxw_format* dateTime;
    lxw_format* integer;
    lxw_format* oneDecimal;
    lxw_format* fourDecimals;
    lxw_format* fiveDecimals;
};

Formats MakeFormats(lxw_workbook* book) {
    auto numberFormat = [book](const char* code) {
        lxw_format* format = workbook_add_format(book);
        format_set_num_format(format, code);
        return format;
    };
    Formats f{};
    f.header = workbook_add_format(book);
    format_set_bold(f.header);
    format_set_text_wrap(f.header);
    format_set_bottom(f.header, LXW_BORDER_THIN);
    f.dateTime = numberFormat("dd.mm.yyyy hh:mm");
    f.integer = numberFormat("0");
    f.oneDecimal = numberFormat("0.0");
    f.fourDecimals = numberFormat("0.0000");
    f.fiveDecimals = numberFormat("0.00000");
    return f;
}

// A value that is not finite is no number to show: the cell stays empty and a
// comment says what the instrument sent.
void WriteValue(lxw_worksheet* sheet, int row, int col, double value, lxw_format* format) {
    if (std::isfinite(value)) {
        worksheet_write_number(sheet, row, col, value, format);
        return;
    }
    const char* what = std::isnan(value) ? "Прибор передал не число (NaN)"
                       : value > 0 ? "Прибор передал бесконечность (+inf)"
                                   : "Прибор передал бесконечность (-inf)";
    worksheet_write_comment(sheet, row, col, what);
}

void WriteRecordRow(lxw_worksheet* sheet, int row, const ArchiveRecord& r, const Formats& f) {
    if (const auto clock = DecodeClock(r)) {
        lxw_datetime when = {clock->year, clock->month, clock->day, clock->hour, clock->minute, 0};
        worksheet_write_datetime(sheet, row, Time, &when, f.dateTime);
    } else {
        worksheet_write_string(sheet, row, Time, RawClockText(r).c_str(), nullptr);
        worksheet_write_comment(sheet, row, Time, "Часы прибора дали несуществующую дату");
    }
    worksheet_write_number(sheet, row, Cell, r.cellNumber(), f.integer);
    worksheet_write_number(sheet, row, Sample, r.sampleNumber(), f.integer);
    if (const auto degrees = Temperature(r))
        worksheet_write_number(sheet, row, Temp, *degrees, f.integer);
    else
        worksheet_write_comment(sheet, row, Temp, "Датчик температуры не подключен");
    WriteValue(sheet, row, Volts, r.voltage(), f.oneDecimal);
    WriteValue(sheet, row, Hertz, r.frequency(), f.oneDecimal);
    const bool emptyCell = r.kind() == RecordKindEmptyCell;
    worksheet_write_string(sheet, row, Label, emptyCell ? "Co,пФ" : "Ex", nullptr);
    WriteValue(sheet, row, Value, r.exOrCo(), f.fiveDecimals);
    WriteValue(sheet, row, Tgd, r.tgD(), f.fiveDecimals);
}

// Records from several blocks each name, in two more columns, the instrument
// and when they were read, so that a filter keeps one block's rows together.
void WriteRecordSheet(lxw_worksheet* sheet, const std::vector<ExportBlock>& blocks,
                      const Formats& f) {
    const bool headed = blocks.size() > 1;
    const int columns = headed ? ColumnCount + 2 : ColumnCount;
    for (int col = 0; col < ColumnCount; ++col) {
        worksheet_set_column(sheet, col, col, RECORD_COLUMNS[col].width, nullptr);
        worksheet_write_string(sheet, 0, col, RECORD_COLUMNS[col].header, f.header);
    }
    if (headed) {
        worksheet_set_column(sheet, ColumnCount, ColumnCount + 1, 24, nullptr);
        worksheet_write_string(sheet, 0, ColumnCount, "Прибор", f.header);
        worksheet_write_string(sheet, 0, ColumnCount + 1, "Считано", f.header);
    }
    int row = 1;
    for (const ExportBlock& block : blocks) {
        const std::string when = ReadTimeText(block.firstRead, block.lastRead);
        for (const ArchiveRecord* record : ReportableRecords(block.records)) {
            WriteRecordRow(sheet, row, *record, f);
            if (headed) {
                worksheet_write_string(sheet, row, ColumnCount, block.instrument.c_str(), nullptr);
                worksheet_write_string(sheet, row, ColumnCount + 1, when.c_str(), nullptr);
            }
            ++row;
        }
    }
    worksheet_freeze_panes(sheet, 1, 0);
    worksheet_autofilter(sheet, 0, 0, row - 1, columns - 1);
    // Printed on A4 across, every column on the page, the header on each page.
    worksheet_set_paper(sheet, 9);
    worksheet_set_landscape(sheet);
    worksheet_fit_to_pages(sheet, 1, 0);
    worksheet_repeat_rows(sheet, 0, 0);
}

// The same three columns as the table's empty-cell section; with several
// blocks, six rows for each, led by the instrument and when it was read.
void WriteCellSheet(lxw_worksheet* sheet, const std::vector<ExportBlock>& blocks,
                    const Formats& f) {
    const bool headed = blocks.size() > 1;
    const int first = headed ? 2 : 0; // the column of "Nя"
    const char* headers[] = {"Прибор", "Считано", "Nя", "Co,пФ", "tgDo"};
    for (int col = 0; col < 3 + first; ++col)
        worksheet_write_string(sheet, 0, col, headers[col + 2 - first], f.header);
    if (headed)
        worksheet_set_column(sheet, 0, 1, 24, nullptr);
    worksheet_set_column(sheet, first, first, 6, nullptr);
    worksheet_set_column(sheet, first + 1, first + 2, 12, nullptr);
    int row = 1;
    for (const ExportBlock& block : blocks) {
        const std::string when = ReadTimeText(block.firstRead, block.lastRead);
        for (int i = 0; i < MeasuringCellCount; ++i, ++row) {
            if (headed) {
                worksheet_write_string(sheet, row, 0, block.instrument.c_str(), nullptr);
                worksheet_write_string(sheet, row, 1, when.c_str(), nullptr);
            }
            worksheet_write_number(sheet, row, first, i + 1, f.integer);
            WriteValue(sheet, row, first + 1, EmptyCellPicofarads(block.emptyCells, i),
                       f.fourDecimals);
            WriteValue(sheet, row, first + 2, block.emptyCells.tgDo(i), f.fiveDecimals);
        }
    }
    worksheet_freeze_panes(sheet, 1, 0);
}

} // namespace

WriteOutcome WriteWorkbook(const ExportContent& content, const std::string& path) {
    // The library prints numbers into the XML with printf: in a locale with a
    // decimal comma they would come out as "2,1", which no reader takes.
    ClassicLocaleScope classic;
    lxw_workbook* book = workbook_new(path.c_str());
    if (book == nullptr)
        return {false, "the workbook could not be started"};
    const Formats formats = MakeFormats(book);
    const std::vector<ExportBlock> blocks = BlocksOf(content);
    WriteRecordSheet(workbook_add_worksheet(book, "Записи"), blocks, formats);
    WriteCellSheet(workbook_add_worksheet(book, "Пустые ячейки"), blocks, formats);

    std::string comments =
        content.title.instrument + ", " +
        (content.title.port.empty() ? "" : content.title.port + ", ") +
        ReadTimeText(content.title.firstDownloadTime, content.title.downloadTime);
    std::string title = "Результаты испытаний масла";
    lxw_doc_properties properties{};
    properties.title = title.data();
    properties.comments = comments.data();
    workbook_set_properties(book, &properties);

    const lxw_error error = workbook_close(book);
    if (error != LXW_NO_ERROR)
        return {false, lxw_strerror(error)};
    return {true, {}};
}

bool WorkbookBuilt() {
    return true;
}

} // namespace exports
