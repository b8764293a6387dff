// Text pieces of the results file, formatted in the classic locale.
#pragma once

#include <string>

// printf into a string of whatever length the value needs, with '.' as the
// decimal point whatever locale the process or thread has set.
[[gnu::format(printf, 1, 2)]] std::string FormatClassic(const char* szFormat, ...);

// Overwrites the first nDots '.' of text with separator; fewer are fine.
void ReplaceDots(std::string& text, char separator, int nDots);

// "%#.5f " with the first '.' made a ',': the report's five-decimal value and
// its trailing blank. Returned by value, so no length of value is cut short.
std::string FormatFixed5Comma(double value);
