#include "link/link_endpoint.h"

#include "platform/serial_port.h"

std::string LinkEndpoint::Title() const {
    if (port == device || device.empty())
        return port;
    return port + " (" + device + ")";
}

LinkEndpoint EndpointOfPort(int nPort) {
    return {"COM" + std::to_string(nPort), DeviceForPort(nPort)};
}

LinkEndpoint EndpointOfDevice(const std::string& device) {
    return {device, device};
}
