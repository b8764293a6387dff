// The command line's arguments after the program name, UTF-8 on every system
// (Windows passes main() the ANSI code page, which has no room for every name).
#pragma once

#include <string>
#include <vector>

std::vector<std::string> ProgramArguments(int argc, char** argv);
