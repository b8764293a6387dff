// The order in which the link looks for the instrument, and what it says when
// it finds nothing. Shared by the link worker and by the reader's port list.
#pragma once

#include <string>
#include <vector>

// One try of the search: a COM number (its device from DeviceForPort), or a
// device named by its path (nPort 0).
struct SearchStep {
    int nPort = 0;
    std::string device;
};

// "COM3", or the device's path.
std::string StepName(const SearchStep& step);

// Tries of the first part of the search, in order. With onlyDevice: that
// device alone, as many times as a search has tries. Otherwise the remembered
// adapter (when there is one), then the saved port, then COM1 to COM4.
std::vector<SearchStep> FirstSearchSteps(int nSavedPort, const std::string& savedDevice,
                                         const std::string& onlyDevice);

// The serial adapters present now that none of the tried devices leads to,
// tried once each after the first part (not with onlyDevice).
std::vector<SearchStep> AdapterSteps(const std::vector<SearchStep>& tried);

// How one try ended: 0 when the device opened (the instrument did not
// answer), else the errno value of the failed open.
struct SearchTry {
    SearchStep step;
    int nError = 0;
};

// Said below the failed-search box: each device tried and why it failed, what
// to do about each kind of failure, and where to look next. UTF-8.
std::string SearchFailureText(const std::vector<SearchTry>& tries);
