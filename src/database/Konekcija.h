#pragma once

#include <memory>
#include <string>

#include "platform/IDatabase.h"
#include "platform/ISettingsStore.h"
#include "platform/IView.h"
#include "run/RunLog.h"

// What the database phase shares for its run: the platform objects it works through and the
// program-wide connection state.
struct DatabaseSession {
    IView& view;
    RunLog& log;
    IDatabase& database;
    const ISettingsStore& settings;
    std::string settingsName;  // the application name of the main program's settings
    int commandTimeoutSeconds = 60;

    std::unique_ptr<IConnection> dbConnection;  // the one connection; null once released
    std::string serverName;
};

// Opens session.dbConnection on `databaseName` with the main program's settings. Returns true
// when it is open, and also when there is nothing to open (an empty database name or an empty
// "PutBaza": the connection then stays a new, closed object whose first command fails).
// Returns false after telling the user in two boxes why it could not open.
// A failure to close the previous connection is not handled here: it passes to the caller.
bool OpenConnection(DatabaseSession& session, const std::string& databaseName);
