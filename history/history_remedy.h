// What the user can do when the history cannot be used, in the user's
// language (gettext), for the command-line programs.
#pragma once

#include <string>

#include "history/record_store.h"

namespace history {

// One sentence; empty when there is nothing better to say than the cause.
std::string remedyFor(Error::Kind kind);

} // namespace history
