// Records made field by field for the export tests, and the tools that read
// what the exporters wrote: unzip for the workbook's XML, poppler for the PDF.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "archive/archive_record.h"

struct RecordFields {
    int kind = RecordKindSample;
    int sample = 17, cell = 2, temperature = 20;
    uint8_t hour = 0x14, minute = 0x05, day = 0x06, month = 0x12, year = 0x09;
    float voltage = 2000.0f, frequency = 50.0f, exOrCo = 2.1f, tgD = 0.0012f;
};

ArchiveRecord MakeRecord(const RecordFields& f);
EmptyCellTable MakeEmptyCells(float co, float tgDo);

// Standard output of a shell command; empty when it fails.
std::string CommandOutput(const std::string& command);
// A fresh folder under the system's temporary folder, removed with its content.
class ScratchDir {
public:
    ScratchDir();
    ~ScratchDir();
    std::string File(const std::string& name) const { return m_path + "/" + name; }
    const std::string& Path() const { return m_path; }

private:
    std::string m_path;
};
// "%.5f" of value with a decimal comma: how the PDF shows five decimals.
std::string Comma(double value, int decimals);
