// The texts of port problems, alike on every system; what only the system
// can tell (who may open a device, who holds it) comes from its own source.
#include "platform/port_problem.h"

#include <cerrno>
#include <cstring>

#include "platform/messages.h"
#include "platform/port_problem_os.h"

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
    case EACCES:
    case EPERM:
        return PermissionProblemText(device);
    case EBUSY: {
        const std::string holder = DeviceHolder(device);
        if (holder.empty())
            return Format(Msg("%s is in use by another program: close that program, then try "
                              "again."),
                          device.c_str());
        return Format(Msg("%s is in use by another program (%s): close it, then try again."),
                      device.c_str(), holder.c_str());
    }
    case ENOTTY:
        return Format(Msg("%s is not a serial port (not a terminal)."), device.c_str());
    default:
        return Format(Msg("%s cannot be opened: %s."), device.c_str(), std::strerror(error));
    }
}
