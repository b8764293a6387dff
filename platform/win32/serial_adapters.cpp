// Serial ports present on Windows: every COMn the system knows, whatever
// driver (USB adapters included) made it, in number order.
#include "platform/serial_adapters.h"

#include <algorithm>
#include <cstdlib>
#include <windows.h>

#include "platform/win32/wide_text.h"

namespace {

constexpr const char* DEVICE_PREFIX = "\\\\.\\";

bool IsComName(const std::wstring& name) {
    return name.size() > 3 && (name[0] == L'C' || name[0] == L'c') &&
           (name[1] == L'O' || name[1] == L'o') && (name[2] == L'M' || name[2] == L'm') &&
           std::all_of(name.begin() + 3, name.end(),
                       [](wchar_t c) { return c >= L'0' && c <= L'9'; });
}

} // namespace

std::string SerialByIdFolder() {
    return {}; // Windows names ports by number only
}

std::string SerialDeviceFolder() {
    return DEVICE_PREFIX;
}

std::string CanonicalDevice(const std::string& path) {
    // "COM5", "com5" and "\\.\COM5" are one port.
    std::string name = path.rfind(DEVICE_PREFIX, 0) == 0 ? path.substr(4) : path;
    std::transform(name.begin(), name.end(), name.begin(),
                   [](char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 32) : c; });
    return name.rfind("COM", 0) == 0 ? DEVICE_PREFIX + name : path;
}

namespace {

// The COM names among the object manager's DOS devices.
void AddDosDevicePorts(std::vector<std::string>& ports) {
    // All names, NUL-separated; grown until the list fits.
    std::wstring names(16384, L'\0');
    DWORD length = 0;
    for (;;) {
        length = ::QueryDosDeviceW(nullptr, names.data(), static_cast<DWORD>(names.size()));
        if (length != 0 || ::GetLastError() != ERROR_INSUFFICIENT_BUFFER || names.size() > 1u << 22)
            break;
        names.resize(names.size() * 2);
    }
    for (size_t begin = 0; begin < length;) {
        const size_t end = names.find(L'\0', begin);
        if (end == std::wstring::npos || end == begin)
            break;
        const std::wstring name = names.substr(begin, end - begin);
        if (IsComName(name))
            ports.push_back(CanonicalDevice(Narrow(name)));
        begin = end + 1;
    }
}

// The ports the serial drivers announce in HARDWARE\DEVICEMAP\SERIALCOMM
// (Wine lists there the ports it was told of, not in the DOS devices).
void AddAnnouncedPorts(std::vector<std::string>& ports) {
    HKEY key = nullptr;
    if (::RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"HARDWARE\\DEVICEMAP\\SERIALCOMM", 0, KEY_READ,
                        &key) != ERROR_SUCCESS)
        return;
    for (DWORD i = 0;; ++i) {
        wchar_t name[256];
        wchar_t data[64] = {};
        DWORD nameLength = 256, dataSize = sizeof data - sizeof(wchar_t), type = 0;
        const LONG status = ::RegEnumValueW(key, i, name, &nameLength, nullptr, &type,
                                            reinterpret_cast<BYTE*>(data), &dataSize);
        if (status == ERROR_NO_MORE_ITEMS)
            break;
        if (status != ERROR_SUCCESS || type != REG_SZ)
            continue;
        const std::wstring port(data);
        if (IsComName(port))
            ports.push_back(CanonicalDevice(Narrow(port)));
    }
    ::RegCloseKey(key);
}

} // namespace

std::vector<SerialAdapter> SerialAdapters() {
    std::vector<std::string> ports;
    AddDosDevicePorts(ports);
    AddAnnouncedPorts(ports);
    std::sort(ports.begin(), ports.end(), DeviceNameLess);
    ports.erase(std::unique(ports.begin(), ports.end()), ports.end());
    std::vector<SerialAdapter> adapters;
    for (const std::string& port : ports)
        adapters.push_back({port, port});
    return adapters;
}
