// A catalog's translations compiled into the program (Windows has no
// gettext): made at build time from po/<lang>.po by cmake/po_to_table.cmake.
#pragma once

#include <cstddef>

struct MessageEntry {
    const char* msgid;
    const char* plural;   // the English plural, or nullptr for a message without
    const char* forms[3]; // the translation; for plurals, the Russian forms 0 to 2
};

struct MessageTable {
    const MessageEntry* entries;
    std::size_t count;
};

extern const MessageTable RUSSIAN_MESSAGES;

// The Russian form for n: 1, 21 take form 0; 2-4, 22-24 form 1; the rest 2.
int RussianPluralForm(unsigned long n);

// The entry of msgid in RUSSIAN_MESSAGES, or nullptr.
const MessageEntry* FindRussianMessage(const char* msgid);
