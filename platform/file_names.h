// File names are UTF-8 everywhere in this program. POSIX takes them as they
// are; the narrow Windows calls (fopen, access, std::filesystem on a string)
// would read them in the ANSI code page and miss every Cyrillic name, so
// whatever names a file the user chose goes through these.
#pragma once

#include <cstdio>
#include <filesystem>
#include <string>

std::filesystem::path FsPath(const std::string& utf8);

// Whether this user may write the existing file (on Windows: it is not
// marked read-only).
bool MayWrite(const std::string& utf8);

// fopen() of a UTF-8 name.
FILE* OpenFile(const std::string& utf8, const char* mode);
