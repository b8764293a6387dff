// Which receive-line error the worker reports in a message box, if any.
#pragma once

// The box text (UTF-8) for a line-error word of CE_* bits, or nullptr when
// nothing is to be shown: parity and framing errors are never reported and
// hide an overrun or overflow flagged with them; an overrun outranks an overflow.
const char* LineErrorBoxText(int lineErrors);
