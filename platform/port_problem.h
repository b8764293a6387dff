// Why a serial device cannot be used, said for the user: a short state for
// lists, and a sentence with the remedy for messages. Texts are UTF-8 in the
// user's language.
#pragma once

#include <string>

// The group that owns device ("dialout"); empty when it cannot be told.
std::string DeviceGroup(const std::string& device);

// The other program that holds device open, as "minicom (process 1234)";
// empty when none can be found (another user's processes are hidden).
std::string DeviceHolder(const std::string& device);

// One or two words for a list: "present", "missing", "no permission", "busy",
// "not a terminal", or the system's text for any other error.
std::string PortStateWord(int error);

// What is wrong with device after an open failed with error (an errno value
// as SerialPort::OpenError gives it), and what the user can do about it.
std::string PortProblemText(const std::string& device, int error);
