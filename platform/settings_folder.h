// Where Vextar.ini lives: the folder that is current when the path is first
// asked for (the instrument's own program keeps it there too).
#pragma once

#include <string>

// The folder with its trailing separator; empty when there is none to be had
// (a removed current directory). On Windows a current folder where this user
// can neither change the file nor make one (under Program Files, say) gives
// way to %APPDATA%\Tarvex\.
std::string SettingsFileFolder();
