// The instrument commands: the instruments the history tells apart by the
// records their downloads share, a name for each (the serial number on its
// plate), and joining two that are one (after its archive was cleared).
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>

#include "history/record_store.h"
#include "tools/history/history_options.h"

// The instrument text names: a name exactly as given, else an id. Empty with
// error set when the history holds no such instrument.
std::optional<std::int64_t> FindInstrument(history::RecordStore& store, const std::string& text,
                                           std::string& error);

// What list prints in its instrument column: the name, else the id.
std::map<std::int64_t, std::string> InstrumentColumn(history::RecordStore& store);

// The instruments, name and join commands; the exit status.
int RunInstrumentCommand(history::RecordStore& store, const HistoryOptions& options);
