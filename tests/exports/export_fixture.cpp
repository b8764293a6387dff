#include "tests/exports/export_fixture.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>

#include "archive/results_format.h"

namespace {
void PutF32(uint8_t* p, float value) {
    uint32_t bits;
    std::memcpy(&bits, &value, 4);
    for (int i = 0; i < 4; ++i)
        p[i] = uint8_t(bits >> (8 * i));
}
} // namespace

ArchiveRecord MakeRecord(const RecordFields& f) {
    ArchiveRecord r{};
    r.bytes[2] = uint8_t(f.sample);
    r.bytes[3] = uint8_t(f.sample >> 8);
    r.bytes[4] = uint8_t(f.kind);
    r.bytes[5] = uint8_t(f.cell);
    r.bytes[6] = uint8_t(int8_t(f.temperature));
    r.bytes[8] = f.minute;
    r.bytes[9] = f.hour;
    r.bytes[11] = f.day;
    r.bytes[12] = f.month;
    r.bytes[13] = f.year;
    PutF32(r.bytes + 16, f.voltage);
    PutF32(r.bytes + 20, f.frequency);
    PutF32(r.bytes + 24, f.exOrCo);
    PutF32(r.bytes + 28, f.tgD);
    return r;
}

EmptyCellTable MakeEmptyCells(float co, float tgDo) {
    EmptyCellTable cells{};
    for (int i = 0; i < MeasuringCellCount; ++i) {
        PutF32(cells.bytes + 4 + 4 * i, co * float(i + 1));
        PutF32(cells.bytes + 28 + 4 * i, tgDo * float(i + 1));
    }
    return cells;
}

std::string CommandOutput(const std::string& command) {
    std::FILE* pipe = popen(command.c_str(), "r");
    if (pipe == nullptr)
        return {};
    std::string out;
    char buffer[4096];
    for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;)
        out.append(buffer, n);
    return pclose(pipe) == 0 ? out : std::string();
}

ScratchDir::ScratchDir() {
    std::string pattern =
        (std::filesystem::temp_directory_path() / "tarvex-exports-XXXXXX").string();
    m_path = mkdtemp(pattern.data()) != nullptr ? pattern : std::string();
}

ScratchDir::~ScratchDir() {
    std::error_code ec;
    if (!m_path.empty())
        std::filesystem::remove_all(m_path, ec);
}

std::string Comma(double value, int decimals) {
    std::string text = FormatClassic("%.*f", decimals, value);
    ReplaceDots(text, ',', 1);
    return text;
}
