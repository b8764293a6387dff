#include "tools/reader/port_list.h"

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "platform/serial_port.h"

namespace fs = std::filesystem;

namespace {

constexpr int LISTED_PORTS = 9;
const char* const SERIAL_PREFIXES[] = {"ttyS", "ttyUSB", "ttyACM"};

// Natural order: ttyS2 before ttyS10.
bool DeviceLess(const std::string& a, const std::string& b) {
    auto split = [](const std::string& s) {
        size_t digits = s.find_last_not_of("0123456789") + 1;
        long number = digits < s.size() ? std::stol(s.substr(digits)) : -1;
        return std::make_pair(s.substr(0, digits), number);
    };
    return split(a) < split(b);
}

// Canonical device path -> its stable /dev/serial/by-id name.
std::map<std::string, std::string> StableNames() {
    std::map<std::string, std::string> names;
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator("/dev/serial/by-id", ec)) {
        fs::path target = fs::canonical(entry.path(), ec);
        if (!ec)
            names[target.string()] = entry.path().string();
    }
    return names;
}

std::vector<std::string> SerialDevices() {
    std::vector<std::string> devices;
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator("/dev", ec)) {
        const std::string name = entry.path().filename().string();
        for (const char* prefix : SERIAL_PREFIXES) {
            const std::string p = prefix;
            if (name.size() > p.size() && name.compare(0, p.size(), p) == 0 &&
                std::all_of(name.begin() + static_cast<long>(p.size()), name.end(),
                            [](char c) { return c >= '0' && c <= '9'; }))
                devices.push_back(entry.path().string());
        }
    }
    std::sort(devices.begin(), devices.end(), DeviceLess);
    return devices;
}

} // namespace

void ListPorts(std::FILE* out) {
    for (int n = 1; n <= LISTED_PORTS; ++n) {
        const std::string device = DeviceForPort(n);
        std::error_code ec;
        const bool present = !device.empty() && fs::exists(device, ec);
        const std::string variable = "TARVEX_COM" + std::to_string(n);
        std::fprintf(out, "COM%d  %-24s %-8s%s\n", n, device.c_str(),
                     present ? "present" : "missing",
                     std::getenv(variable.c_str()) ? ("  (" + variable + ")").c_str() : "");
    }
    std::fprintf(out, "serial devices:\n");
    const std::map<std::string, std::string> stable = StableNames();
    const std::vector<std::string> devices = SerialDevices();
    if (devices.empty())
        std::fprintf(out, "  (none)\n");
    for (const std::string& device : devices) {
        auto it = stable.find(device);
        if (it != stable.end())
            std::fprintf(out, "  %-16s %s\n", device.c_str(), it->second.c_str());
        else
            std::fprintf(out, "  %s\n", device.c_str());
    }
}
