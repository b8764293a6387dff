// Synthetic archive records for the history tests: each n gives a distinct
// record whose fields follow from n, so a test can tell what it should find.
#pragma once

#include <cstdint>
#include <vector>

#include "archive/archive_record.h"

// Sample n (its low 16 bits; byte 0 keeps records up to n = 2^24 apart),
// cell 1 + n % 6, 20 degrees, measured 2021-03-05 10:(n % 60).
ArchiveRecord MakeRecord(int n, uint8_t kind = RecordKindSample);

// MakeRecord(first) .. MakeRecord(last).
std::vector<ArchiveRecord> Records(int first, int last);
