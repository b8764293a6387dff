#include "tests/support/history_records.h"

ArchiveRecord MakeRecord(int n, uint8_t kind) {
    ArchiveRecord r{};
    r.bytes[0] = static_cast<uint8_t>(n >> 16);
    r.bytes[2] = static_cast<uint8_t>(n);
    r.bytes[3] = static_cast<uint8_t>(n >> 8);
    r.bytes[4] = kind;
    r.bytes[5] = static_cast<uint8_t>(1 + n % 6);
    r.bytes[6] = 20;
    const int minute = n % 60;
    r.bytes[8] = static_cast<uint8_t>((minute / 10) << 4 | minute % 10);
    r.bytes[9] = 0x10;
    r.bytes[11] = 0x05;
    r.bytes[12] = 0x03;
    r.bytes[13] = 0x21;
    return r;
}

std::vector<ArchiveRecord> Records(int first, int last) {
    std::vector<ArchiveRecord> records;
    for (int n = first; n <= last; ++n)
        records.push_back(MakeRecord(n));
    return records;
}
