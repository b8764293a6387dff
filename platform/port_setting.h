// The remembered settings: the serial port number, and the adapter where the
// instrument last answered, in Vextar.ini in the directory that was current
// when the path was first asked for.
#pragma once

#include <string>

// The settings file path; computed on the first call and kept for the run.
const char* GetSettingsPath();
// Port number from section "Velmare - 7K", key "COM Port 1_4"; 2 by default.
int LoadPortSetting();
// Writes " %d " under the same key, replacing the file atomically (in place
// when only the file, not its folder, may be written). 1 on success; 0 with
// errno telling why.
int SavePortSetting(int nPort);

// The serial adapter where the instrument last answered, by its stable name,
// under key "Device" of the same section; empty when none is remembered.
std::string LoadDeviceSetting();
// Writes the adapter's name; empty removes the key. The file is left
// untouched when it already holds that name (or has no key to remove).
// 1 on success.
int SaveDeviceSetting(const std::string& device);
