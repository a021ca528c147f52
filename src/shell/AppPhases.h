#pragma once

#include "shell/UpgradeContext.h"

// The real program's two phases. Each lives in a file of its own (AppOnlinePhase.cpp,
// AppDatabasePhase.cpp) that wires its subsystem to the platform's implementations.
bool RunAppOnlineUpdate(UpgradeContext& context);
void RunAppDatabaseUpgrade(UpgradeContext& context);
