// The programs' messages on Windows. There is no gettext here yet: the texts
// are the English originals until a table made from po/ replaces them.
#include "platform/messages.h"

#include <windows.h>

void InitMessages() {
    // Every text is UTF-8: the console is told so, or Cyrillic comes out garbled.
    ::SetConsoleOutputCP(CP_UTF8);
}

const char* Msg(const char* msgid) {
    return msgid;
}

const char* MsgN(const char* singular, const char* plural, unsigned long n) {
    return n == 1 ? singular : plural;
}
