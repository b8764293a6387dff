// --list-ports: the ports the search would try, in its order, and the state
// of each device now (present, missing, no permission, busy, not a terminal).
#pragma once

#include <cstdio>

#include "tools/reader/reader_options.h"

void ListPorts(std::FILE* out, const ReaderOptions& options);
