// What the serial port does alike on every system.
#include <cstdlib>

#include "platform/serial_port.h"
#include "platform/serial_port_os.h"

std::string DeviceForPort(int n) {
    const std::string name = "TARVEX_COM" + std::to_string(n);
    if (const char* device = std::getenv(name.c_str()); device != nullptr && *device != '\0')
        return device;
    if (n < 1)
        return {};
    return SystemPortDevice(n);
}
