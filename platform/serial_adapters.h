// USB serial adapters present on the machine, by their stable names where
// they have one.
#pragma once

#include <string>
#include <vector>

// The folder of stable adapter names: $TARVEX_SERIAL_BY_ID when set (tests
// point it at links of their own), otherwise /dev/serial/by-id.
std::string SerialByIdFolder();

// The folder where ttyUSB* and ttyACM* devices appear: $TARVEX_SERIAL_DEV
// when set, otherwise /dev.
std::string SerialDeviceFolder();

struct SerialAdapter {
    std::string path;   // what to open and remember: the stable name, or the device itself
    std::string device; // the device the path leads to
};

// Adapters present now: every entry of the stable-name folder in name order,
// then each ttyUSB* and ttyACM* (in number order) that has no stable name.
std::vector<SerialAdapter> SerialAdapters();

// The device a path leads to after following links; the path itself when it
// cannot be resolved. Two paths of one device give the same text.
std::string CanonicalDevice(const std::string& path);

// Natural order of device names: ttyS2 before ttyS10.
bool DeviceNameLess(const std::string& a, const std::string& b);
