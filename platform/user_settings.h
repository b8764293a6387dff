// The program's own settings, kept apart from Vextar.ini (which holds only
// what the Windows program also reads): section [Tarvex] of tarvex.ini in
// the user's configuration folder, $XDG_CONFIG_HOME/tarvex or ~/.config/tarvex.
#pragma once

#include <string>
#include <string_view>

// The settings file's path; empty when neither XDG_CONFIG_HOME (absolute)
// nor HOME is set.
std::string UserSettingsPath();

// The value of key, or def when the file or the key is missing.
std::string LoadUserSetting(std::string_view key, std::string_view def);

// Stores key=value, making the folder when needed; the file is replaced
// atomically. 1 on success; 0 with errno telling why.
int SaveUserSetting(std::string_view key, std::string_view value);
