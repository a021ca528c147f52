#pragma once

#include <string>

// The folder of the running executable, resolved (links followed), as a native path without a
// trailing separator (except for a root folder). Empty when the platform cannot tell.
std::string ExecutableFolder();
