#include "tools/reader/port_list.h"

#include <cerrno>
#include <cstdlib>
#include <string>
#include <vector>

#include "link/port_search.h"
#include "platform/messages.h"
#include "platform/port_problem.h"
#include "platform/port_setting.h"
#include "platform/serial_adapters.h"
#include "platform/serial_port.h"

namespace {

constexpr int LISTED_PORTS = 9;

// The state of a device as the search would find it, with what the user
// needs to know to act on it.
std::string DeviceState(const std::string& device) {
    const int error = ProbeSerialDevice(device);
    std::string state = PortStateWord(error);
    if (error == EACCES || error == EPERM) {
        const std::string group = DeviceGroup(device);
        if (!group.empty())
            state += " (" + Format(Msg("group %s"), group.c_str()) + ")";
    } else if (error == EBUSY) {
        const std::string holder = DeviceHolder(device);
        if (!holder.empty())
            state += " (" + holder + ")";
    }
    return state;
}

void PrintRow(std::FILE* out, const std::string& row) {
    const size_t end = row.find_last_not_of(' ');
    std::fprintf(out, "%s\n", end == std::string::npos ? "" : row.substr(0, end + 1).c_str());
}

std::string Padded(const std::string& text, size_t width) {
    return text.size() >= width ? text + ' ' : text + std::string(width - text.size(), ' ');
}

std::string StepRow(const SearchStep& step) {
    std::string device = step.nPort > 0 ? DeviceForPort(step.nPort) : step.device;
    // COM ports in a column of their own; an adapter's path stands alone.
    std::string row = step.nPort > 0 ? Padded(StepName(step), 6) : std::string();
    std::string shown = device;
    const std::string target = CanonicalDevice(device);
    if (target != device)
        shown += " -> " + target;
    row += Padded(shown, 26) + DeviceState(device);
    const std::string variable = "TARVEX_COM" + std::to_string(step.nPort);
    if (step.nPort > 0 && std::getenv(variable.c_str()) != nullptr)
        row += "  (" + variable + ")";
    return row;
}

} // namespace

void ListPorts(std::FILE* out, const ReaderOptions& options) {
    const int nSavedPort = options.m_nPort > 0 ? options.m_nPort : LoadPortSetting();
    const std::string savedDevice = options.m_nPort > 0 ? std::string() : LoadDeviceSetting();
    std::vector<SearchStep> steps = FirstSearchSteps(nSavedPort, savedDevice, options.m_szDevice);
    if (!options.m_szDevice.empty()) {
        std::fprintf(out, "%s\n", Msg("The search tries only the device given with --device:"));
        PrintRow(out, "   1. " + StepRow(steps.front()));
        return;
    }
    const std::vector<SearchStep> adapters = AdapterSteps(steps);
    steps.insert(steps.end(), adapters.begin(), adapters.end());
    std::fprintf(out, "%s\n", Msg("The search tries, in this order:"));
    std::vector<bool> listed(LISTED_PORTS + 1, false);
    for (size_t i = 0; i < steps.size(); ++i) {
        char number[32];
        std::snprintf(number, sizeof number, "%4zu. ", i + 1);
        std::string row = number + StepRow(steps[i]);
        if (i == 0 && !savedDevice.empty())
            row += std::string("  (") + Msg("remembered adapter") + ")";
        else if (steps[i].nPort == nSavedPort && !listed[0]) {
            row += std::string("  (") +
                   (options.m_nPort > 0 ? Msg("given with --port") : Msg("saved port")) + ")";
            listed[0] = true;
        }
        if (steps[i].nPort > 0 && steps[i].nPort <= LISTED_PORTS)
            listed[static_cast<size_t>(steps[i].nPort)] = true;
        // A port present beyond COM4 (Windows names them so) is listed once.
        for (int n = 1; steps[i].nPort == 0 && n <= LISTED_PORTS; ++n)
            if (CanonicalDevice(steps[i].device) == CanonicalDevice(DeviceForPort(n)))
                listed[static_cast<size_t>(n)] = true;
        PrintRow(out, row);
    }
    if (adapters.empty())
        std::fprintf(out, "%s\n", Msg("      (no USB serial adapter present)"));
    std::fprintf(out, "%s\n", Msg("Other COM ports, tried only when named with --port:"));
    for (int n = 1; n <= LISTED_PORTS; ++n)
        if (!listed[static_cast<size_t>(n)])
            PrintRow(out, "      " + StepRow({n, {}}));
}
