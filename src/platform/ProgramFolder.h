#pragma once

#include <string>

// The folder of the running executable, resolved (links followed), as a native path without a
// trailing separator (except for a root folder). Empty when the platform cannot tell.
std::string ExecutableFolder();

// The user's own folder for a program's local data (%LOCALAPPDATA% on Windows, $XDG_DATA_HOME
// or ~/.local/share on Linux), where a file goes that the program folder cannot take. Empty
// where the platform has no such folder the program writes to.
std::string UserDataFolder();
