// Pieces of the settings file handling that tests reach directly.
#pragma once

// Converts text as atoi does (leading blanks, an optional sign, then digits up
// to the first other character; no digits give 0), saturating at the int range.
int ParsePortNumber(const char* pszText);

// Forgets the computed settings path so that the next GetSettingsPath takes
// the current directory afresh. For tests only: the program keeps its path.
void ResetSettingsPath();
