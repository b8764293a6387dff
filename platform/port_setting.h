// The one remembered setting: the serial port number, in Vextar.ini in the
// directory that was current when the path was first asked for.
#pragma once

// The settings file path; computed on the first call and kept for the run.
const char* GetSettingsPath();
// Port number from section "Velmare - 7K", key "COM Port 1_4"; 2 by default.
int LoadPortSetting();
// Writes " %d " under the same key, replacing the file atomically (in place
// when only the file, not its folder, may be written). 1 on success; 0 with
// errno telling why.
int SavePortSetting(int nPort);
