// Locale helpers: printf-style number formatting in the classic "C" locale
// whatever the process locale is, and the decimal point of the user's
// numeric locale as the environment names it.
#pragma once

#include <locale.h>

// Switches the calling thread to the classic locale for its lifetime and
// restores the thread's previous locale afterwards. Numbers formatted inside
// always use '.' even when the process locale writes a comma.
class ClassicLocaleScope {
public:
    ClassicLocaleScope();
    ~ClassicLocaleScope();
    ClassicLocaleScope(const ClassicLocaleScope&) = delete;
    ClassicLocaleScope& operator=(const ClassicLocaleScope&) = delete;

private:
    void* m_hPrevious; // the thread's locale before (a locale_t on POSIX)
};

// The numeric locale the environment names: the first non-empty of LC_ALL,
// LC_NUMERIC and LANG, or "C" when none is set (on Windows: the user's
// locale in Regional Settings when none is set).
const char* UserNumericLocaleName();

// The decimal point of the named locale: ',' when its radix character holds a
// comma, '.' otherwise and whenever the locale cannot be loaded. Windows
// takes "ru-RU" and "ru_RU.UTF-8" alike.
char DecimalSeparatorOfLocale(const char* szName);
