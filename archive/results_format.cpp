#include "archive/results_format.h"
#include "archive/archive_record.h"
#include "archive/results_writer.h"
#include "platform/codepage.h"
#include "platform/locale.h"

#include <algorithm>
#include <cstdarg>
#include <cstdio>

std::string FormatClassic(const char* szFormat, ...) {
    ClassicLocaleScope classic;
    char buffer[128];
    std::va_list args;
    va_start(args, szFormat);
    std::va_list retry;
    va_copy(retry, args);
    const int nLength = std::vsnprintf(buffer, sizeof buffer, szFormat, args);
    va_end(args);
    std::string text;
    if (nLength < 0) {
        va_end(retry);
        return text;
    }
    if (static_cast<std::size_t>(nLength) < sizeof buffer) {
        text.assign(buffer, static_cast<std::size_t>(nLength));
    } else {
        // Only a huge float gets here (up to 39 integer digits).
        text.resize(static_cast<std::size_t>(nLength) + 1);
        std::vsnprintf(text.data(), text.size(), szFormat, retry);
        text.resize(static_cast<std::size_t>(nLength));
    }
    va_end(retry);
    return text;
}

void ReplaceDots(std::string& text, char separator, int nDots) {
    for (char& c : text) {
        if (nDots <= 0) {
            break;
        }
        if (c == '.') {
            c = separator;
            --nDots;
        }
    }
}

std::string FormatFixed5Comma(double value) {
    std::string text = FormatClassic("%#.5f ", value);
    ReplaceDots(text, ',', 1);
    return text;
}

namespace {

// The fixed texts in Windows-1251, converted once from the UTF-8 here.
struct FixedTexts {
    std::string tableHeader =
        Utf8ToCp1251("Время\tДата\tNя\tПроба\tТемп.,С\tU,В\tF,Гц\t\tEx,Co\ttgDx\n");
    std::string tableCoLabel = Utf8ToCp1251("Co,пФ\t");
    std::string tableCellHeader = Utf8ToCp1251("\nNя\tCo,пФ\ttgDo\n");
    std::string asterisks = std::string(53, '*') + "\n";
    std::string reportDate = Utf8ToCp1251("Дата проведения измерений: ");
    std::string reportCell = Utf8ToCp1251("Измерительная ячейка N");
    std::string reportSample = Utf8ToCp1251("Проба масла ");
    std::string reportTemperature = Utf8ToCp1251("Температура ");
    std::string reportDegrees = Utf8ToCp1251(" грд.\n");
    std::string reportNoSensor = Utf8ToCp1251("Датчик температуры не подключен\n");
    std::string reportVolts = Utf8ToCp1251(" В  F=");
    std::string reportHertz = Utf8ToCp1251(" Гц\n");
    std::string reportPicofarads = Utf8ToCp1251("пФ ");
    std::string reportCellsTitle = Utf8ToCp1251("Параметры пустых ячеек:\n");
    std::string reportCellLine = Utf8ToCp1251("ячейка N");
};

const FixedTexts& Texts() {
    static const FixedTexts s_texts;
    return s_texts;
}

// -49 and above is a temperature; -50 and below means no sensor.
bool HasTemperature(const ArchiveRecord& record) {
    return record.temperature() >= -49;
}

unsigned Hex(uint8_t byte) {
    return byte;
}

// Hands pieces to the sink until it refuses one; every later piece is dropped.
class PieceSink {
public:
    explicit PieceSink(const std::function<bool(std::string_view)>& sink) : m_sink(sink) {}

    bool Put(const std::string& piece) {
        if (m_bOpen) {
            m_bOpen = m_sink(piece);
        }
        return m_bOpen;
    }
    bool Put(std::string piece, char separator, int nDots) {
        ReplaceDots(piece, separator, nDots);
        return Put(piece);
    }
    bool IsOpen() const { return m_bOpen; }

private:
    const std::function<bool(std::string_view)>& m_sink;
    bool m_bOpen = true;
};

void PutTableRecord(PieceSink& out, const ArchiveRecord& r, char separator) {
    const FixedTexts& t = Texts();
    out.Put(FormatClassic("%02x:%02x\t%02x.%02x.%02x\t", Hex(r.hourBcd()), Hex(r.minuteBcd()),
                          Hex(r.dayBcd()), Hex(r.monthBcd()), Hex(r.yearBcd())));
    out.Put(FormatClassic("%d\t", r.cellNumber()));
    out.Put(FormatClassic("%d\t", r.sampleNumber()));
    out.Put(HasTemperature(r) ? FormatClassic("%d\t", r.temperature()) : std::string("\t"));
    out.Put(FormatClassic("%.1f\t%.1f\t", double(r.voltage()), double(r.frequency())), separator,
            2);
    const std::string label = r.kind() == RecordKindEmptyCell ? t.tableCoLabel : "Ex\t";
    out.Put(label + FormatClassic("%#.4f\t", double(r.exOrCo())), separator, 1);
    out.Put(FormatClassic("%#.5f\n", double(r.tgD())), separator, 1);
}

void PutTableCells(PieceSink& out, const EmptyCellTable& cells, char separator) {
    out.Put(Texts().tableCellHeader);
    for (int i = 0; i < MeasuringCellCount && out.IsOpen(); ++i) {
        out.Put(FormatClassic("%d\t", i + 1));
        out.Put(FormatClassic("%#.4f\t", double(cells.co(i)) * 1e12), separator, 1);
        out.Put(FormatClassic("%#.5f\n", double(cells.tgDo(i))), separator, 1);
    }
}

void PutReportRecord(PieceSink& out, const ArchiveRecord& r) {
    const FixedTexts& t = Texts();
    out.Put(t.asterisks);
    out.Put(t.reportDate + FormatClassic("%2x:%02x %02x/%02x/%02x\n", Hex(r.hourBcd()),
                                         Hex(r.minuteBcd()), Hex(r.dayBcd()), Hex(r.monthBcd()),
                                         Hex(r.yearBcd())));
    out.Put(t.reportCell + FormatClassic("%d\n", r.cellNumber()));
    out.Put(t.reportSample + FormatClassic("%d\n", r.sampleNumber()));
    out.Put(HasTemperature(r)
                ? t.reportTemperature + FormatClassic("%d", r.temperature()) + t.reportDegrees
                : t.reportNoSensor);
    out.Put("U=" + FormatClassic("%.1f", double(r.voltage())) + t.reportVolts +
                FormatClassic("%.1f", double(r.frequency())) + t.reportHertz,
            ',', 2);
    if (r.kind() == RecordKindEmptyCell) {
        out.Put("Co=" + FormatClassic("%#.4f", double(r.exOrCo())) + t.reportPicofarads, ',', 1);
        out.Put("tgDo=" + FormatFixed5Comma(r.tgD()) + "\n");
    } else {
        out.Put("Ex=" + FormatFixed5Comma(r.exOrCo()) + " ");
        out.Put("tgDx=" + FormatFixed5Comma(r.tgD()) + "\n");
    }
}

void PutReportCells(PieceSink& out, const EmptyCellTable& cells) {
    const FixedTexts& t = Texts();
    out.Put(t.asterisks);
    out.Put(t.reportCellsTitle);
    for (int i = 0; i < MeasuringCellCount && out.IsOpen(); ++i) {
        out.Put(t.reportCellLine + FormatClassic("%d ", i + 1));
        out.Put(FormatClassic("Co=%#.4f ", double(cells.co(i)) * 1e12), ',', 1);
        out.Put(FormatClassic("tgDo=%#.5f\n", double(cells.tgDo(i))), ',', 1);
    }
    out.Put(t.asterisks);
}

} // namespace

void FormatResults(const ArchiveRecord* records, int nCount, const EmptyCellTable& cells,
                   int bExcelTable, char separator,
                   const std::function<bool(std::string_view piece)>& sink) {
    const int nRecords = records == nullptr ? 0 : std::clamp(nCount, 0, ArchiveSlotCount);
    FormatRecords(records, static_cast<std::size_t>(nRecords), cells, bExcelTable, separator, sink);
}

void FormatRecords(const ArchiveRecord* records, std::size_t nRecords, const EmptyCellTable& cells,
                   int bExcelTable, char separator,
                   const std::function<bool(std::string_view piece)>& sink) {
    PieceSink out(sink);
    if (bExcelTable) {
        out.Put(Texts().tableHeader);
    }
    for (std::size_t i = 0; i < nRecords && out.IsOpen(); ++i) {
        const ArchiveRecord& record = records[i];
        if (!record.IsReportable()) {
            continue;
        }
        if (bExcelTable) {
            PutTableRecord(out, record, separator);
        } else {
            PutReportRecord(out, record);
        }
    }
    if (bExcelTable) {
        PutTableCells(out, cells, separator);
    } else {
        PutReportCells(out, cells);
    }
}
