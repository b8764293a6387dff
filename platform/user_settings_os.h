// The system's part of the own settings (user_settings.h): where the folder
// is and how it is made.
#pragma once

#include <string>

// The folder, without a trailing separator; empty when the environment
// names none.
std::string UserSettingsFolder();

// Makes folder (and, on POSIX, its missing parents); true when it exists
// afterwards, else false with errno telling why.
bool MakeUserSettingsFolder(const std::string& folder);

// What joins a folder and a name.
extern const char PATH_SEPARATOR;
