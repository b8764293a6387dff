#include "link/port_search.h"

#include <algorithm>
#include <cerrno>
#include <set>

#include "platform/messages.h"
#include "platform/port_problem.h"
#include "platform/serial_adapters.h"
#include "platform/serial_port.h"

namespace {

constexpr int SEARCH_TRIES = 5; // the saved port, then COM1 to COM4

std::string StepDevice(const SearchStep& step) {
    return step.nPort > 0 ? DeviceForPort(step.nPort) : step.device;
}

} // namespace

std::string StepName(const SearchStep& step) {
    return step.nPort > 0 ? "COM" + std::to_string(step.nPort) : step.device;
}

std::vector<SearchStep> FirstSearchSteps(int nSavedPort, const std::string& savedDevice,
                                         const std::string& onlyDevice) {
    if (!onlyDevice.empty())
        return std::vector<SearchStep>(SEARCH_TRIES, SearchStep{0, onlyDevice});
    std::vector<SearchStep> steps;
    if (!savedDevice.empty())
        steps.push_back({0, savedDevice});
    steps.push_back({nSavedPort, {}});
    for (int p = 1; p < SEARCH_TRIES; ++p)
        steps.push_back({p, {}});
    return steps;
}

std::vector<SearchStep> AdapterSteps(const std::vector<SearchStep>& tried) {
    std::set<std::string> seen;
    for (const SearchStep& step : tried) {
        const std::string device = StepDevice(step);
        if (!device.empty())
            seen.insert(CanonicalDevice(device));
    }
    std::vector<SearchStep> steps;
    for (const SerialAdapter& adapter : SerialAdapters())
        if (seen.insert(adapter.device).second)
            steps.push_back({0, adapter.path});
    return steps;
}

std::string SearchFailureText(const std::vector<SearchTry>& tries) {
    std::string text = Msg("Ports tried:");
    std::set<std::string> listed;
    std::vector<std::string> problems;
    bool everyTryHasItsRemedy = !tries.empty();
    for (const SearchTry& t : tries) {
        const std::string device = StepDevice(t.step);
        const std::string name = StepName(t.step);
        if (!listed.insert(name + '\n' + device).second)
            continue; // the saved port tried again as one of COM1 to COM4
        text += "\n  " + name;
        if (name != device)
            text += " (" + (device.empty() ? std::string("-") : device) + ")";
        text += ": " + (t.nError == 0 ? std::string(Msg("no answer")) : PortStateWord(t.nError));
        const bool plainlyAbsent =
            t.nError == ENOENT || t.nError == EIO || t.nError == ENXIO || t.nError == ENODEV;
        everyTryHasItsRemedy = everyTryHasItsRemedy && t.nError != 0 && !plainlyAbsent;
        if (t.nError != 0 && !plainlyAbsent) {
            std::string problem = PortProblemText(device, t.nError);
            if (std::find(problems.begin(), problems.end(), problem) == problems.end())
                problems.push_back(problem);
        }
    }
    for (const std::string& problem : problems)
        text += "\n\n" + problem;
    // Where every port had a problem of its own, its remedy is the advice.
    if (!everyTryHasItsRemedy)
        text += "\n\n" +
                std::string(Msg(
                    "Check that the instrument is switched on and its cable plugged in. If it is "
                    "on another device, make that device a COM port with TARVEX_COM<n>=PATH (for "
                    "example TARVEX_COM3=/dev/ttyUSB0), or read it with \"tarvex-read --device "
                    "PATH\"; \"tarvex-read --list-ports\" shows the ports the search tries."));
    return text;
}
