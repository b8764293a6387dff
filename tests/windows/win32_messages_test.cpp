// The messages on Windows come from the table made from po/ru.po, in the
// user's interface language. CTest runs this program under a Russian and an
// English environment and names the language it expects.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <windows.h>

#include "platform/messages.h"
#include "platform/win32/message_table.h"

namespace {

bool ExpectRussian() {
    const char* expected = std::getenv("TARVEX_EXPECTED_LANGUAGE");
    return expected != nullptr && std::string(expected) == "ru";
}

TEST(Win32Messages, FollowTheInterfaceLanguage) {
    InitMessages();
    const bool russian = ExpectRussian();
    ASSERT_EQ(PRIMARYLANGID(::GetUserDefaultUILanguage()) == LANG_RUSSIAN, russian);
    EXPECT_STREQ(Msg("busy"), russian ? "занят" : "busy");
    // Escaped quotes and continuation lines of the catalog arrive whole.
    EXPECT_STREQ(Msg("No permission to open %s: it is yours, but its mode %04o does not let you "
                     "read and write it. Allow it with \"chmod u+rw %s\"."),
                 russian ? "Нет прав на открытие %s: устройство ваше, но его режим %04o не "
                           "разрешает вам чтение и запись. Разрешите их командой \"chmod u+rw "
                           "%s\"."
                         : "No permission to open %s: it is yours, but its mode %04o does not "
                           "let you read and write it. Allow it with \"chmod u+rw %s\".");
    EXPECT_STREQ(MsgN("%d record", "%d records", 22), russian ? "%d записи" : "%d records");
    EXPECT_STREQ(MsgN("%d record", "%d records", 1), russian ? "%d запись" : "%d record");
    EXPECT_STREQ(Msg("a text no catalog has"), "a text no catalog has");
}

TEST(Win32Messages, RussianPluralsFollowTheLastTwoDigits) {
    for (unsigned long n : {1ul, 21ul, 101ul, 1001ul})
        EXPECT_EQ(RussianPluralForm(n), 0) << n;
    for (unsigned long n : {2ul, 4ul, 23ul, 104ul})
        EXPECT_EQ(RussianPluralForm(n), 1) << n;
    for (unsigned long n : {0ul, 5ul, 11ul, 12ul, 14ul, 111ul, 112ul, 25ul})
        EXPECT_EQ(RussianPluralForm(n), 2) << n;
    // Every plural entry of the catalog has all three forms, none empty.
    for (std::size_t i = 0; i < RUSSIAN_MESSAGES.count; ++i) {
        const MessageEntry& entry = RUSSIAN_MESSAGES.entries[i];
        if (entry.plural == nullptr)
            continue;
        for (const char* form : entry.forms)
            EXPECT_TRUE(form != nullptr && *form != '\0') << entry.msgid;
    }
    EXPECT_GT(RUSSIAN_MESSAGES.count, 100u);
}

} // namespace
