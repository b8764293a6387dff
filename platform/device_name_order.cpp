#include "platform/serial_adapters.h"

#include <tuple>

bool DeviceNameLess(const std::string& a, const std::string& b) {
    auto split = [](const std::string& s) {
        const size_t digits = s.find_last_not_of("0123456789") + 1;
        const std::string tail = s.substr(digits);
        return std::make_tuple(s.substr(0, digits), tail.size(), tail);
    };
    return split(a) < split(b);
}
