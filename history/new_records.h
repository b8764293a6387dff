// Downloading only what is new. The instrument writes its ring of 2000
// records round and round and reports only its position, so the records
// written since the last download are those between the position logged
// then and the position now, across the wrap (1990 then, 30 now: 40).
//
// The ring cannot tell "moved on by k" from "moved on by 2000 + k": a ring
// that came round once or more between two downloads looks like a short
// advance, and what it overwrote is gone. One check is cheap: the download
// also fetches the record just before the new ones, which must be the record
// the last download ended with. When it is not (the ring came round, or the
// instrument's archive was cleared), the caller warns and reads its full count.
#pragma once

#include <cstdint>
#include <optional>

#include "archive/archive_record.h"
#include "history/record_store.h"

namespace history {

struct NewRecordsPlan {
    enum class Kind {
        NoHistory,   // nothing logged for this instrument: read the full count
        OutsideRing, // the position is no ring index: read the full count
        NothingNew,  // the position has not moved
        Range,       // read count records: the check record, then the new ones
    };
    Kind kind = Kind::NoHistory;
    int count = 0;    // records to download, the check record first
    int newCount = 0; // of which new
};

NewRecordsPlan planNewRecords(const std::optional<LastDownload>& last, int position);

// The check: the first record read must be the last one stored.
bool continuesHistory(const LastDownload& last, const ArchiveRecord& first);

// The archive position in a position reply (bytes 3 and 4, signed as the
// download reads it), or nothing when bytes is no whole position reply.
std::optional<int> positionInReply(const std::uint8_t* bytes, unsigned length);

} // namespace history
