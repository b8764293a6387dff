// A name for one download that any PC derives alike from what the log keeps
// of it: a merge that is tried again (its commit's reply was lost, it waited
// offline, a history is imported twice) is known by it and logged once.
#pragma once

#include <string>

#include "history/record_store.h"

namespace history {

// Sixteen hex digits over time, port, device, position, count, empty cells
// and last record; the instrument (an id of one history only) is left out.
std::string downloadToken(const DownloadEntry& download);

} // namespace history
