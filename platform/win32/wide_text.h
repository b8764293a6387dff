// UTF-8 to and from Windows' UTF-16, for the W functions: every path and text
// the system gets goes through them, so Cyrillic names work.
#pragma once

#include <string>

std::wstring Widen(const std::string& utf8);
std::string Narrow(const std::wstring& utf16);

// An errno value for a Win32 error code (GetLastError), for the callers that
// report errno values on both systems.
int ErrnoOfWin32Error(unsigned long error);
