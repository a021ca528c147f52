#pragma once

#include "platform/IDatabase.h"
#include "platform/ISettingsStore.h"
#include "run/UpgradeContext.h"

// What the database phase works through; the command time-out is a parameter so that tests of
// a time-out need not wait a minute.
struct DatabasePhaseDeps {
    IDatabase& database;
    const ISettingsStore& settings;
    int commandTimeoutSeconds = 60;
};

// The database phase: connects to "master", finds the program's databases, runs the script of
// "[Akcija]" in each and stamps each with the program version, then ends the program with
// its exit status. The work runs through view.RunOffUiThread, so the window stays painted
// while it refuses input; the view's texts and boxes come in the same order either way.
[[noreturn]] void RunDatabaseUpgrade(UpgradeContext& context, const DatabasePhaseDeps& deps);
