// The list command's two outputs: an aligned table for people (UTF-8) and
// comma-separated values for programs. Both stream, one record at a time.
#pragma once

#include <cstdio>

#include "history/record_store.h"

class RecordLister {
public:
    RecordLister(std::FILE* out, bool csv);
    void Add(const history::StoredRecord& stored);
    // Ends the listing; with the table form, a count line. Returns the count.
    long Finish();

private:
    std::FILE* m_out;
    bool m_csv;
    long m_count = 0;
};
