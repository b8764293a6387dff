// Conversion between the UTF-8 of our sources and Windows-1251, the code page
// of every status text and results file. The one place where texts change code.
#pragma once

#include <string>
#include <string_view>

// Characters with no Windows-1251 byte become '?'; invalid UTF-8 bytes too.
std::string Utf8ToCp1251(std::string_view utf8);
// Byte 0x98, undefined in Windows-1251, becomes U+FFFD.
std::string Cp1251ToUtf8(std::string_view cp1251);
