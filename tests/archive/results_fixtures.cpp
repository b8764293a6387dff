#include "results_fixtures.h"

#include "archive/results_writer.h"
#include "platform/codepage.h"

#include <bit>
#include <cstring>

namespace {

void PutFloat(uint8_t* pBytes, float value) {
    const uint32_t nBits = std::bit_cast<uint32_t>(value);
    for (int i = 0; i < 4; ++i) {
        pBytes[i] = static_cast<uint8_t>(nBits >> (8 * i));
    }
}

} // namespace

ArchiveRecord MakeRecord(const RecordFields& f, uint8_t filler) {
    ArchiveRecord record;
    std::memset(record.bytes, filler, sizeof record.bytes);
    record.bytes[2] = static_cast<uint8_t>(f.sampleNumber);
    record.bytes[3] = static_cast<uint8_t>(f.sampleNumber >> 8);
    record.bytes[4] = f.kind;
    record.bytes[5] = f.cellNumber;
    record.bytes[6] = static_cast<uint8_t>(f.temperature);
    record.bytes[8] = f.minute;
    record.bytes[9] = f.hour;
    record.bytes[11] = f.day;
    record.bytes[12] = f.month;
    record.bytes[13] = f.year;
    PutFloat(record.bytes + 16, f.voltage);
    PutFloat(record.bytes + 20, f.frequency);
    PutFloat(record.bytes + 24, f.exOrCo);
    PutFloat(record.bytes + 28, f.tgD);
    return record;
}

void PutCell(EmptyCellTable& cells, int i, float co, float tgDo) {
    PutFloat(cells.bytes + 4 + 4 * i, co);
    PutFloat(cells.bytes + 28 + 4 * i, tgDo);
}

EmptyCellTable MakeCells(uint8_t filler) {
    EmptyCellTable cells;
    std::memset(cells.bytes, filler, sizeof cells.bytes);
    for (int i = 0; i < MeasuringCellCount; ++i) {
        PutCell(cells, i, 0.0f, 0.0f);
    }
    PutCell(cells, 0, 1.5e-11f, 0.0001f);
    return cells;
}

std::string Cp(const char* szUtf8) {
    return Utf8ToCp1251(szUtf8);
}

std::vector<std::string> Pieces(const std::vector<ArchiveRecord>& records, int nCount,
                                const EmptyCellTable& cells, int bExcelTable, char separator) {
    std::vector<std::string> pieces;
    FormatResults(records.data(), nCount, cells, bExcelTable, separator,
                  [&](std::string_view piece) {
                      pieces.emplace_back(piece);
                      return true;
                  });
    return pieces;
}

std::string Joined(const std::vector<std::string>& pieces) {
    std::string text;
    for (const std::string& piece : pieces) {
        text += piece;
    }
    return text;
}

std::string ExpectedTable(char separator) {
    static const std::string s_comma =
        Cp("Время\tДата\tNя\tПроба\tТемп.,С\tU,В\tF,Гц\t\tEx,Co\ttgDx\n"
           "14:05\t06.12.09\t2\t17\t20\t2000,0\t50,0\tEx\t2,1000\t0,00120\n"
           "\nNя\tCo,пФ\ttgDo\n"
           "1\t15,0000\t0,00010\n"
           "2\t0,0000\t0,00000\n"
           "3\t0,0000\t0,00000\n"
           "4\t0,0000\t0,00000\n"
           "5\t0,0000\t0,00000\n"
           "6\t0,0000\t0,00000\n");
    static const std::string s_point =
        Cp("Время\tДата\tNя\tПроба\tТемп.,С\tU,В\tF,Гц\t\tEx,Co\ttgDx\n"
           "14:05\t06.12.09\t2\t17\t20\t2000.0\t50.0\tEx\t2.1000\t0.00120\n"
           "\nNя\tCo,пФ\ttgDo\n"
           "1\t15.0000\t0.00010\n"
           "2\t0.0000\t0.00000\n"
           "3\t0.0000\t0.00000\n"
           "4\t0.0000\t0.00000\n"
           "5\t0.0000\t0.00000\n"
           "6\t0.0000\t0.00000\n");
    return separator == ',' ? s_comma : s_point;
}

std::string ExpectedReport() {
    return Cp("*****************************************************\n"
              "Дата проведения измерений: 14:05 06/12/09\n"
              "Измерительная ячейка N2\n"
              "Проба масла 17\n"
              "Температура 20 грд.\n"
              "U=2000,0 В  F=50,0 Гц\n"
              "Ex=2,10000  tgDx=0,00120 \n"
              "*****************************************************\n"
              "Параметры пустых ячеек:\n"
              "ячейка N1 Co=15,0000 tgDo=0,00010\n"
              "ячейка N2 Co=0,0000 tgDo=0,00000\n"
              "ячейка N3 Co=0,0000 tgDo=0,00000\n"
              "ячейка N4 Co=0,0000 tgDo=0,00000\n"
              "ячейка N5 Co=0,0000 tgDo=0,00000\n"
              "ячейка N6 Co=0,0000 tgDo=0,00000\n"
              "*****************************************************\n");
}
