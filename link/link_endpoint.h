// Where the instrument answered, as every front end logs and prints it: the
// port as the status line names it (COM3, or the adapter's path) and the
// device behind it.
#pragma once

#include <string>

struct LinkEndpoint {
    std::string port;   // "COM3", or the adapter's path
    std::string device; // "/dev/ttyS2" (or what TARVEX_COM3 names), or the adapter's path

    // "COM3 (/dev/ttyS2)", or the adapter's path alone.
    std::string Title() const;
};

// COM n and the device it names now.
LinkEndpoint EndpointOfPort(int nPort);
// A device searched by its own name (an adapter, or one given to search alone).
LinkEndpoint EndpointOfDevice(const std::string& device);
