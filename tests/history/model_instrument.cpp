#include "tests/history/model_instrument.h"

#include <cstring>
#include <fstream>

#include "tests/support/history_records.h"

void ModelInstrument::Write(int n) {
    for (int k = 0; k < n; ++k) {
        m_ring[m_position] = MakeRecord(m_next++);
        m_position = (m_position + 1) % 2000;
    }
}

void ModelInstrument::Blank(int n) {
    for (int k = 0; k < n; ++k) {
        m_ring[m_position] = ArchiveRecord{};
        m_position = (m_position + 1) % 2000;
    }
}

void ModelInstrument::Clear() {
    m_ring = {};
    m_position = 0;
}

std::set<std::string> ModelInstrument::InRing() const {
    std::set<std::string> records;
    for (const ArchiveRecord& record : m_ring)
        if (record.IsReportable())
            records.insert(BytesOf(record));
    return records;
}

void ModelInstrument::Save(const std::string& path) const {
    std::string cells(56, '\0');
    const float co = 30e-12f, tgd = 0.001f;
    for (int cell = 0; cell < 6; ++cell) {
        std::memcpy(&cells[4 + 4 * cell], &co, 4);
        std::memcpy(&cells[28 + 4 * cell], &tgd, 4);
    }
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    file << cells;
    for (const ArchiveRecord& record : m_ring)
        file << BytesOf(record);
}

std::string BytesOf(const ArchiveRecord& record) {
    return std::string(reinterpret_cast<const char*>(record.bytes), sizeof record.bytes);
}
