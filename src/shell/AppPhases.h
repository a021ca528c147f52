#pragma once

#include "shell/UpgradeContext.h"

// The real program's two phases. Each lives in a file of its own (AppOnlinePhase.cpp,
// AppDatabasePhase.cpp) that wires its subsystem to the platform's implementations.
bool RunAppOnlineUpdate(UpgradeContext& context);
void RunAppDatabaseUpgrade(UpgradeContext& context);

// Installation as one unit, for the driver and the console (AppInstallRecovery.cpp): undoing
// an installation a crash cut short, and putting back the latest backup for support staff
// (true when it was put back; the user has been told either way).
void RecoverAppInstall(UpgradeContext& context);
bool RestoreAppBackup(UpgradeContext& context);
