// Why a port cannot be used, on Windows: no device groups and no way to name
// the program that holds a port, so the texts say what can be said.
#include "platform/port_problem.h"

#include "platform/messages.h"
#include "platform/port_problem_os.h"

std::string DeviceGroup(const std::string&) {
    return {};
}

std::string DeviceHolder(const std::string&) {
    return {};
}

// Windows refuses a port another program holds with "access denied".
std::string PermissionProblemText(const std::string& device) {
    return Format(Msg("%s is in use by another program: close that program, then try again."),
                  device.c_str());
}
