#include "database/DatabasePhase.h"
#include "app/Wiring.h"
#include "app/AppPhases.h"

// The database phase over SQL Server through this platform's database back-end, with the main
// program's settings from this platform's per-user store.
void RunAppDatabaseUpgrade(UpgradeContext& context) {
    const auto settings = MakeSettingsStore();
    const DatabaseBackEnd backEnd = MakeDatabase();
    context.log.Write("database", "ODBC driver " + backEnd.driver);
    RunDatabaseUpgrade(context, DatabasePhaseDeps{*backEnd.database, *settings, 60});
}
