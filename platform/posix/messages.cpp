#include "platform/messages.h"

#include <filesystem>
#include <libintl.h>
#include <locale.h>
#include <system_error>

namespace {

constexpr const char* DOMAIN = "tarvex";

#ifndef TARVEX_INSTALL_LOCALEDIR
#define TARVEX_INSTALL_LOCALEDIR "/usr/local/share/locale"
#endif

// The catalog folder: ../share/locale from the program's own folder when a
// catalog is there, otherwise where the install put it.
std::string CatalogFolder() {
    std::error_code ec;
    const std::filesystem::path exe = std::filesystem::read_symlink("/proc/self/exe", ec);
    if (!ec) {
        const std::filesystem::path beside = exe.parent_path().parent_path() / "share" / "locale";
        if (std::filesystem::exists(beside / "ru" / "LC_MESSAGES" / "tarvex.mo", ec))
            return beside.string();
    }
    return TARVEX_INSTALL_LOCALEDIR;
}

} // namespace

void InitMessages() {
    // Only the message language: numbers and character handling keep the
    // classic form, whatever else the user's locale says.
    setlocale(LC_MESSAGES, "");
    bindtextdomain(DOMAIN, CatalogFolder().c_str());
    bind_textdomain_codeset(DOMAIN, "UTF-8");
    // The system's error texts (strerror, std::system_category) come from the
    // C library's own catalog, which otherwise follows the classic character
    // set and turns Russian into ASCII transliteration ("Net takogo fajla").
    // Asked for UTF-8 like ours, they match the rest of the line.
    bind_textdomain_codeset("libc", "UTF-8");
}

const char* Msg(const char* msgid) {
    return dgettext(DOMAIN, msgid);
}

const char* MsgN(const char* singular, const char* plural, unsigned long n) {
    return dngettext(DOMAIN, singular, plural, n);
}
