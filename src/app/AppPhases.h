#pragma once

#include <memory>

#include "cabinet/RunLock.h"
#include "run/UpgradeContext.h"

// The real program's two phases. Each lives in a file of its own (AppOnlinePhase.cpp,
// AppDatabasePhase.cpp) that wires its subsystem to the platform's implementations.
bool RunAppOnlineUpdate(UpgradeContext& context);
void RunAppDatabaseUpgrade(UpgradeContext& context);

// Installation as one unit, for the driver and the console (AppInstallRecovery.cpp). Each
// first takes the program folder's lock, which the program then holds for its whole run: a
// folder that is not writable, or a second start while a run holds the lock, ends the program
// with one box and status 1, nothing changed. Then: undoing an installation a crash cut short
// (the lock is returned, to be kept), and putting back the latest backup for support staff
// (true when it was put back; the user has been told either way).
std::shared_ptr<RunLock> RecoverAppInstall(UpgradeContext& context);
bool RestoreAppBackup(UpgradeContext& context);
