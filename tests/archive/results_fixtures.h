// Records, cell blocks and expected results texts shared by the archive tests.
#pragma once

#include "archive/archive_record.h"

#include <array>
#include <cstdint>
#include <string>
#include <vector>

struct RecordFields {
    uint16_t sampleNumber = 17;
    uint8_t kind = RecordKindSample;
    uint8_t cellNumber = 2;
    int8_t temperature = 20;
    uint8_t hour = 0x14;
    uint8_t minute = 0x05;
    uint8_t day = 0x06;
    uint8_t month = 0x12;
    uint8_t year = 0x09;
    float voltage = 2000.0f;
    float frequency = 50.0f;
    float exOrCo = 2.1f;
    float tgD = 0.0012f;
};

// Builds the record byte by byte, little-endian; never-read bytes hold filler.
ArchiveRecord MakeRecord(const RecordFields& fields, uint8_t filler = 0);

// Cell 1 holds Co 1.5e-11 F and tgDo 0.0001, the other five zero.
EmptyCellTable MakeCells(uint8_t filler = 0);
void PutCell(EmptyCellTable& cells, int i, float co, float tgDo);

// Windows-1251 of a UTF-8 literal.
std::string Cp(const char* szUtf8);

// Every piece handed to the sink, in order.
std::vector<std::string> Pieces(const std::vector<ArchiveRecord>& records, int nCount,
                                const EmptyCellTable& cells, int bExcelTable, char separator);
std::string Joined(const std::vector<std::string>& pieces);

// The whole file for the worked-example record and MakeCells().
std::string ExpectedTable(char separator);
std::string ExpectedReport();
