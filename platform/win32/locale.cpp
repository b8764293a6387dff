// The numeric locale on Windows. The programs never switch the C library's
// locale away from "C", so printf already writes '.'; the user's decimal
// separator comes from Regional Settings (or the environment, as on POSIX,
// so that tests and scripts can choose it).
#include "platform/locale.h"

#include <cstdlib>
#include <string>
#include <windows.h>

#include "platform/win32/wide_text.h"

ClassicLocaleScope::ClassicLocaleScope() : m_hPrevious(nullptr) {}

ClassicLocaleScope::~ClassicLocaleScope() = default;

const char* UserNumericLocaleName() {
    for (const char* szVar : {"LC_ALL", "LC_NUMERIC", "LANG"}) {
        const char* szValue = std::getenv(szVar);
        if (szValue != nullptr && szValue[0] != '\0')
            return szValue;
    }
    static const std::string s_user = [] {
        wchar_t name[LOCALE_NAME_MAX_LENGTH] = {};
        return ::GetUserDefaultLocaleName(name, LOCALE_NAME_MAX_LENGTH) > 0 ? Narrow(name)
                                                                            : std::string("C");
    }();
    return s_user.c_str();
}

char DecimalSeparatorOfLocale(const char* szName) {
    if (szName == nullptr || szName[0] == '\0')
        return '.';
    // "ru_RU.UTF-8" names the locale Windows calls "ru-RU".
    std::string name(szName);
    name = name.substr(0, name.find_first_of(".@"));
    for (char& c : name)
        if (c == '_')
            c = '-';
    if (name == "C" || name == "POSIX")
        return '.';
    // As the Windows program asks: 1.2 formatted as the locale writes numbers;
    // a comma anywhere in it makes the separator a comma.
    wchar_t formatted[64] = {};
    if (::GetNumberFormatEx(Widen(name).c_str(), 0, L"1.2", nullptr, formatted, 64) <= 0)
        return '.';
    return std::wstring(formatted).find(L',') != std::wstring::npos ? ',' : '.';
}
