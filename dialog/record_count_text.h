// Reading the record-count edit the way a dialog reads an unsigned number
// from a control, and mapping a count onto the arrows' position.
#pragma once

#include <string_view>

// Leading blanks skipped, then decimal digits up to the first other
// character. Empty text, no digits, a sign, or a value beyond 32 bits
// unsigned give 0.
unsigned ParseUnsignedItemText(std::string_view text);

// The arrows take the low 16 bits of the count as a signed position; the
// result is then kept inside lower..upper so the arrows never leave their range.
int SpinPosFromCount(int nCount, int nLower, int nUpper);
