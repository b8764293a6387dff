// The pieces of the server store that each take a job of their own: the
// merge and the instruments. Each runs its own transaction(s).
#pragma once

#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <vector>

#include "history/pg_connection.h"
#include "history/record_store.h"

namespace history {

MergeOutcome mergeIntoServer(PgConnection& db, const DownloadEntry& download,
                             std::span<const ArchiveRecord> records,
                             const std::function<void(int done)>& progress);

std::vector<InstrumentInfo> listServerInstruments(PgConnection& db);
void nameServerInstrument(PgConnection& db, std::int64_t id, const std::string& name);
void joinServerInstruments(PgConnection& db, std::int64_t into, std::int64_t from);

} // namespace history
