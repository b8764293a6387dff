// Tells a shared server history's location from a history file's path.
#pragma once

#include <string>

namespace history {

// A PostgreSQL connection URI (postgresql://..., postgres://...) or a
// connection string of key=value words (service=lab, host=db dbname=tarvex)
// names a server history; anything else is a file's path.
bool isServerHistory(const std::string& location);

} // namespace history
