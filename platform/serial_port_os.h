// The system's part of the port names (serial_port.h).
#pragma once

#include <string>

// The device the system gives COM port n (n >= 1).
std::string SystemPortDevice(int n);
