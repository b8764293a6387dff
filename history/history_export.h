// The history's records made ready for any results form: each with the empty
// cells of the download it came from, in blocks by instrument and empty cells,
// so that an export never prints one instrument's cells beside another's records.
#pragma once

#include <span>
#include <string>
#include <vector>

#include "exports/export_content.h"
#include "history/record_store.h"

namespace history {

// What the results forms call the instrument: its name (the serial number on
// its plate) when the user gave one, else its number in the history. UTF-8.
std::string InstrumentLabel(const InstrumentInfo& instrument);

class HistoryExport {
public:
    // records in the order they are to be shown; the store tells their
    // downloads and instruments.
    HistoryExport(RecordStore& store, std::span<const StoredRecord> records);
    HistoryExport(const HistoryExport&) = delete;
    HistoryExport& operator=(const HistoryExport&) = delete;

    // Points into this object: valid while it lives.
    const exports::ExportContent& Content() const { return m_content; }
    std::size_t RecordCount() const { return m_records.size(); }

private:
    std::vector<ArchiveRecord> m_records; // block by block
    exports::ExportContent m_content;
};

} // namespace history
