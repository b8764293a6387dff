// A model of the instrument for the history tests: it writes records into its
// ring of 2000 between downloads, as a tester in use does, and hands its
// memory to tarvex-sim as an archive file. Slots never written hold 32 zero
// bytes; the position is the slot the next record goes to.
#pragma once

#include <array>
#include <set>
#include <string>

#include "archive/archive_record.h"

class ModelInstrument {
public:
    // first: the number of the first record it writes (keep instruments' apart).
    explicit ModelInstrument(int first) : m_next(first) {}

    // Measures n more records.
    void Write(int n);
    // Leaves n slots never written (32 zero bytes), as the simulator's
    // archives have them here and there among the records.
    void Blank(int n);
    // Erases the archive: every slot never written again, the position 0.
    void Clear();

    int Position() const { return m_position; }
    const ArchiveRecord& Slot(int index) const { return m_ring[(index + 2000) % 2000]; }
    // The reportable records in the ring, as 32-byte strings.
    std::set<std::string> InRing() const;
    // The archive file tarvex-sim --archive loads.
    void Save(const std::string& path) const;

private:
    std::array<ArchiveRecord, 2000> m_ring{};
    int m_position = 0;
    int m_next;
};

std::string BytesOf(const ArchiveRecord& record);
