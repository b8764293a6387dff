// The programs' own messages in the user's language, through gettext and the
// "tarvex" catalog. Texts fixed by the instrument's protocol (status texts,
// the dialog's boxes) are not translated and never pass through here.
#pragma once

#include <string>

// Takes the user's message language from the environment and finds the
// catalog: beside the program (../share/locale from its folder, which holds
// both in the build tree and when installed), else the install prefix.
void InitMessages();

// The translation of msgid, UTF-8; msgid itself when there is none.
const char* Msg(const char* msgid);
// The form of singular/plural that suits n in the user's language.
const char* MsgN(const char* singular, const char* plural, unsigned long n);

// printf-style formatting into a std::string (for translated formats).
std::string Format(const char* format, ...) __attribute__((format(printf, 1, 2)));
