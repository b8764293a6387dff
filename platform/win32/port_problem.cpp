// Why a port cannot be used, on Windows: no device groups and no way to name
// the program that holds a port, so the texts say what can be said.
#include "platform/port_problem.h"

#include <cerrno>
#include <cstring>

#include "platform/messages.h"

std::string DeviceGroup(const std::string&) {
    return {};
}

std::string DeviceHolder(const std::string&) {
    return {};
}

std::string PortStateWord(int error) {
    switch (error) {
    case 0:
        return Msg("present");
    case ENOENT:
    case ENODEV:
    case ENXIO:
    case EIO:
        return Msg("missing");
    case EACCES:
    case EPERM:
        return Msg("no permission");
    case EBUSY:
        return Msg("busy");
    case ENOTTY:
        return Msg("not a terminal");
    default:
        return std::strerror(error);
    }
}

std::string PortProblemText(const std::string& device, int error) {
    switch (error) {
    case 0:
        return {};
    case ENOENT:
    case ENODEV:
    case ENXIO:
        return Format(Msg("%s is not there."), device.c_str());
    case EIO:
        return Format(Msg("%s has no port behind it (no such hardware)."), device.c_str());
    case EBUSY:
    case EACCES:
    case EPERM:
        return Format(Msg("%s is in use by another program: close that program, then try "
                          "again."),
                      device.c_str());
    case ENOTTY:
        return Format(Msg("%s is not a serial port (not a terminal)."), device.c_str());
    default:
        return Format(Msg("%s cannot be opened: %s."), device.c_str(), std::strerror(error));
    }
}
