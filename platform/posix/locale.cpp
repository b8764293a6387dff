#include "platform/locale.h"

#include <cstdlib>
#include <cstring>
#include <initializer_list>
#include <langinfo.h>

namespace {

// Created once and kept for the whole run; every thread may use it.
locale_t ClassicLocale() {
    static const locale_t s_hClassic = newlocale(LC_ALL_MASK, "C", locale_t(0));
    return s_hClassic;
}

} // namespace

ClassicLocaleScope::ClassicLocaleScope() : m_hPrevious(nullptr) {
    if (locale_t hClassic = ClassicLocale()) {
        m_hPrevious = uselocale(hClassic);
    }
}

ClassicLocaleScope::~ClassicLocaleScope() {
    if (m_hPrevious != nullptr) {
        uselocale(static_cast<locale_t>(m_hPrevious));
    }
}

const char* UserNumericLocaleName() {
    for (const char* szVar : {"LC_ALL", "LC_NUMERIC", "LANG"}) {
        const char* szValue = std::getenv(szVar);
        if (szValue != nullptr && szValue[0] != '\0') {
            return szValue;
        }
    }
    return "C";
}

char DecimalSeparatorOfLocale(const char* szName) {
    if (szName == nullptr || szName[0] == '\0') {
        return '.';
    }
    locale_t hLocale = newlocale(LC_NUMERIC_MASK, szName, locale_t(0));
    if (hLocale == locale_t(0)) {
        return '.';
    }
    const char* szRadix = nl_langinfo_l(RADIXCHAR, hLocale);
    const char cSeparator =
        (szRadix != nullptr && std::strchr(szRadix, ',') != nullptr) ? ',' : '.';
    freelocale(hLocale);
    return cSeparator;
}
