// The list command's two outputs: an aligned table for people (UTF-8) and
// comma-separated values for programs. Both stream, one record at a time.
#pragma once

#include <cstdint>
#include <cstdio>
#include <map>
#include <string>

#include "history/record_store.h"

class RecordLister {
public:
    // instruments, when given, adds a last column naming each record's instrument.
    RecordLister(std::FILE* out, bool csv,
                 const std::map<std::int64_t, std::string>* instruments = nullptr);
    void Add(const history::StoredRecord& stored);
    // Ends the listing; with the table form, a count line. Returns the count.
    long Finish();

private:
    std::FILE* m_out;
    bool m_csv;
    const std::map<std::int64_t, std::string>* m_instruments;
    long m_count = 0;
};
