#include "platform/port_setting.h"

#include "platform/codepage.h"
#include "platform/port_setting_internal.h"
#include "platform/profile_file.h"
#include "platform/settings_folder.h"

#include <climits>
#include <cstdio>
#include <string>

namespace {

const char SETTINGS_SECTION[] = "Velmare - 7K";
const char SETTINGS_PORT_KEY[] = "COM Port 1_4";
const char SETTINGS_PORT_DEFAULT[] = "2";
const char SETTINGS_DEVICE_KEY[] = "Device";
const char SETTINGS_FILE_NAME[] = "Vextar.ini";
// The value buffer of the profile call: at most 19 characters are taken.
constexpr std::size_t SETTINGS_VALUE_SIZE = 20;

// On Windows the file is the Windows program's own, in its code page; on
// POSIX it holds device paths as the system names them.
#ifdef _WIN32
constexpr bool FILE_IN_CP1251 = true;
#else
constexpr bool FILE_IN_CP1251 = false;
#endif

std::string ToFileText(const std::string& text) {
    return FILE_IN_CP1251 ? Utf8ToCp1251(text) : text;
}

std::string FromFileText(const std::string& text) {
    return FILE_IN_CP1251 ? Cp1251ToUtf8(text) : text;
}

} // namespace

// Filled on first use and kept for the rest of the run.
static std::string g_szSettingsPath;
static int g_bSettingsPathPending = 1;

const char* GetSettingsPath() {
    if (g_bSettingsPathPending) {
        g_bSettingsPathPending = 0;
        const std::string dir = SettingsFileFolder();
        // Without a current directory the path stays empty: reads give the
        // default and writes fail, rather than landing in the root directory.
        g_szSettingsPath = dir.empty() ? std::string() : dir + SETTINGS_FILE_NAME;
    }
    return g_szSettingsPath.c_str();
}

void ResetSettingsPath() {
    g_szSettingsPath.clear();
    g_bSettingsPathPending = 1;
}

int ParsePortNumber(const char* pszText) {
    const char* p = pszText;
    while (*p == ' ' || (*p >= '\t' && *p <= '\r'))
        ++p;
    bool bNegative = false;
    if (*p == '+' || *p == '-')
        bNegative = *p++ == '-';
    long long nValue = 0;
    for (; *p >= '0' && *p <= '9'; ++p) {
        nValue = nValue * 10 + (*p - '0');
        if (nValue > static_cast<long long>(INT_MAX) + 1)
            break; // saturated either way; no need to read on
    }
    if (bNegative)
        nValue = -nValue;
    if (nValue > INT_MAX)
        return INT_MAX;
    if (nValue < INT_MIN)
        return INT_MIN;
    return static_cast<int>(nValue);
}

int LoadPortSetting() {
    std::string value = ProfileFileGet(GetSettingsPath(), SETTINGS_SECTION, SETTINGS_PORT_KEY,
                                       SETTINGS_PORT_DEFAULT, SETTINGS_VALUE_SIZE);
    // c_str: a NUL inside the value ends the number, as in a C buffer.
    return ParsePortNumber(value.c_str());
}

int SavePortSetting(int nPort) {
    char szValue[24];
    std::snprintf(szValue, sizeof szValue, " %d ", nPort);
    return ProfileFileSet(GetSettingsPath(), SETTINGS_SECTION, SETTINGS_PORT_KEY, szValue);
}

std::string LoadDeviceSetting() {
    return FromFileText(ProfileFileGet(GetSettingsPath(), SETTINGS_SECTION, SETTINGS_DEVICE_KEY, "",
                                       PROFILE_MAX_FILE_SIZE));
}

int SaveDeviceSetting(const std::string& device) {
    // No adapter to remember: the key goes, as it was before any adapter.
    if (device.empty())
        return ProfileFileDelete(GetSettingsPath(), SETTINGS_SECTION, SETTINGS_DEVICE_KEY);
    if (LoadDeviceSetting() == device)
        return 1;
    return ProfileFileSet(GetSettingsPath(), SETTINGS_SECTION, SETTINGS_DEVICE_KEY,
                          ToFileText(device));
}
