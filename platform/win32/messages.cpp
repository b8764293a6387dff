// The programs' messages on Windows: Russian from a table compiled from
// po/ru.po when the user's interface language is Russian, else the English
// originals.
#include "platform/messages.h"

#include <string_view>
#include <unordered_map>
#include <windows.h>

#include "platform/win32/message_table.h"

namespace {

bool RussianInterface() {
    static const bool russian = PRIMARYLANGID(::GetUserDefaultUILanguage()) == LANG_RUSSIAN;
    return russian;
}

} // namespace

int RussianPluralForm(unsigned long n) {
    if (n % 10 == 1 && n % 100 != 11)
        return 0;
    return n % 10 >= 2 && n % 10 <= 4 && (n % 100 < 10 || n % 100 >= 20) ? 1 : 2;
}

const MessageEntry* FindRussianMessage(const char* msgid) {
    static const auto index = [] {
        std::unordered_map<std::string_view, const MessageEntry*> built;
        for (std::size_t i = 0; i < RUSSIAN_MESSAGES.count; ++i)
            built.emplace(RUSSIAN_MESSAGES.entries[i].msgid, &RUSSIAN_MESSAGES.entries[i]);
        return built;
    }();
    const auto found = index.find(msgid);
    return found == index.end() ? nullptr : found->second;
}

void InitMessages() {
    // Every text is UTF-8: the console is told so, or Cyrillic comes out garbled.
    ::SetConsoleOutputCP(CP_UTF8);
    RussianInterface();
}

const char* Msg(const char* msgid) {
    const MessageEntry* entry = RussianInterface() ? FindRussianMessage(msgid) : nullptr;
    return entry != nullptr && entry->plural == nullptr ? entry->forms[0] : msgid;
}

const char* MsgN(const char* singular, const char* plural, unsigned long n) {
    const MessageEntry* entry = RussianInterface() ? FindRussianMessage(singular) : nullptr;
    if (entry != nullptr && entry->plural != nullptr)
        return entry->forms[RussianPluralForm(n)];
    return n == 1 ? singular : plural;
}
