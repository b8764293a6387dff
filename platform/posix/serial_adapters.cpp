#include "platform/serial_adapters.h"

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <set>

namespace fs = std::filesystem;

namespace {

std::string FolderFromEnvironment(const char* variable, const char* fallback) {
    const char* value = std::getenv(variable);
    return value != nullptr && *value != '\0' ? value : fallback;
}

bool IsNumberedDevice(const std::string& name, const std::string& prefix) {
    return name.size() > prefix.size() && name.compare(0, prefix.size(), prefix) == 0 &&
           std::all_of(name.begin() + static_cast<long>(prefix.size()), name.end(),
                       [](char c) { return c >= '0' && c <= '9'; });
}

} // namespace

std::string SerialByIdFolder() {
    return FolderFromEnvironment("TARVEX_SERIAL_BY_ID", "/dev/serial/by-id");
}

std::string SerialDeviceFolder() {
    return FolderFromEnvironment("TARVEX_SERIAL_DEV", "/dev");
}

std::string CanonicalDevice(const std::string& path) {
    std::error_code ec;
    const fs::path resolved = fs::canonical(path, ec);
    return ec ? path : resolved.string();
}

std::vector<SerialAdapter> SerialAdapters() {
    std::vector<SerialAdapter> adapters;
    std::set<std::string> named;
    std::error_code ec;
    std::vector<std::string> stable;
    for (const auto& entry : fs::directory_iterator(SerialByIdFolder(), ec))
        stable.push_back(entry.path().string());
    std::sort(stable.begin(), stable.end());
    for (const std::string& path : stable) {
        const std::string device = CanonicalDevice(path);
        named.insert(device);
        adapters.push_back({path, device});
    }

    std::vector<std::string> bare;
    for (const auto& entry : fs::directory_iterator(SerialDeviceFolder(), ec)) {
        const std::string name = entry.path().filename().string();
        if (IsNumberedDevice(name, "ttyUSB") || IsNumberedDevice(name, "ttyACM"))
            bare.push_back(entry.path().string());
    }
    // ttyUSB before ttyACM, each in number order.
    std::sort(bare.begin(), bare.end(), [](const std::string& a, const std::string& b) {
        const bool usbA = a.find("ttyUSB") != std::string::npos;
        const bool usbB = b.find("ttyUSB") != std::string::npos;
        return usbA != usbB ? usbA : DeviceNameLess(a, b);
    });
    for (const std::string& path : bare) {
        const std::string device = CanonicalDevice(path);
        if (named.insert(device).second)
            adapters.push_back({path, device});
    }
    return adapters;
}
