#include "database/DatabasePhase.h"
#include "platform/odbc/OdbcDatabase.h"
#include "platform/settings_ini/IniSettingsStore.h"
#include "shell/AppPhases.h"

// The database phase over SQL Server through ODBC, with the main program's settings from the
// per-user INI store.
void RunAppDatabaseUpgrade(UpgradeContext& context) {
    IniSettingsStore settings;
    OdbcDatabase database;
    context.log.Write("database", "ODBC driver " + database.driver());
    RunDatabaseUpgrade(context, DatabasePhaseDeps{database, settings, 60});
}
