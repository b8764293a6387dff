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

void WriteRecordSheet(lxw_worksheet* sheet, const ExportContent& content, const Formats& f) {
    for (int col = 0; col < ColumnCount; ++col) {
        worksheet_set_column(sheet, col, col, RECORD_COLUMNS[col].width, nullptr);
        worksheet_write_string(sheet, 0, col, RECORD_COLUMNS[col].header, f.header);
    }
    int row = 1;
    for (const ArchiveRecord* record : ReportableRecords(content.records))
        WriteRecordRow(sheet, row++, *record, f);
    worksheet_freeze_panes(sheet, 1, 0);
    worksheet_autofilter(sheet, 0, 0, row - 1, ColumnCount - 1);
    // Printed on A4 across, every column on the page, the header on each page.
    worksheet_set_paper(sheet, 9);
    worksheet_set_landscape(sheet);
    worksheet_fit_to_pages(sheet, 1, 0);
    worksheet_repeat_rows(sheet, 0, 0);
}

// The same three columns as the table's empty-cell section.
void WriteCellSheet(lxw_worksheet* sheet, const EmptyCellTable& cells, const Formats& f) {
    const char* headers[] = {"Nя", "Co,пФ", "tgDo"};
    for (int col = 0; col < 3; ++col)
        worksheet_write_string(sheet, 0, col, headers[col], f.header);
    worksheet_set_column(sheet, 0, 0, 6, nullptr);
    worksheet_set_column(sheet, 1, 2, 12, nullptr);
    for (int i = 0; i < MeasuringCellCount; ++i) {
        worksheet_write_number(sheet, i + 1, 0, i + 1, f.integer);
        WriteValue(sheet, i + 1, 1, EmptyCellPicofarads(cells, i), f.fourDecimals);
        WriteValue(sheet, i + 1, 2, cells.tgDo(i), f.fiveDecimals);
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
    WriteRecordSheet(workbook_add_worksheet(book, "Записи"), content, formats);
    WriteCellSheet(workbook_add_worksheet(book, "Пустые ячейки"), content.emptyCells, formats);

    std::string comments = content.title.instrument + ", " +
                           (content.title.port.empty() ? "" : content.title.port + ", ") +
                           LocalTimeText(content.title.downloadTime);
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

} // namespace exports
