// --list-ports: what COM1..COM9 map to, and the serial devices present.
#pragma once

#include <cstdio>

void ListPorts(std::FILE* out);
