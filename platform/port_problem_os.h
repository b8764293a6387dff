// The system's part of the port problem texts (port_problem.h).
#pragma once

#include <string>

// Why this user may not open device, with the remedy.
std::string PermissionProblemText(const std::string& device);
