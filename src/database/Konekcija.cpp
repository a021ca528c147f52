#include "database/Konekcija.h"

#include "database/ConnectionSettings.h"
#include "database/DatabaseTexts.h"

namespace {

void ReportOpenFailure(DatabaseSession& s, const AppError& e) {
    s.log.Write("database", "connection failed: " + std::to_string(e.number()) + " / " + e.description());
    s.view.ShowMessage(database_text::kOpenFailed, MsgIcon::Warning, MsgButtons::Ok,
                       std::string(database_text::kOpenFailedTitle));
    s.view.ShowMessage(std::to_string(e.number()) + " / " + e.description(), MsgIcon::None,
                       MsgButtons::Ok, std::nullopt);
}

}  // namespace

bool OpenConnection(DatabaseSession& s, const std::string& databaseName) {
    if (s.dbConnection && s.dbConnection->IsOpen()) s.dbConnection->Close();
    s.dbConnection = s.database.NewConnection();
    try {
        const ConnectionSettings settings = ReadConnectionSettings(s.settings, s.settingsName);
        s.serverName = settings.serverName;
        if (databaseName.empty() || settings.databasePath.empty()) {
            s.log.Write("database", "no database path in the settings of \"" + s.settingsName +
                                        "\": nothing opened");
            return true;
        }
        const ConnectionSpec spec = MakeConnectionSpec(settings, databaseName, s.commandTimeoutSeconds);
        s.log.Write("database", "connecting: " + DescribeConnection(spec));
        s.dbConnection->Open(spec);
        return true;
    } catch (const AppError& e) {
        ReportOpenFailure(s, e);
        return false;
    }
}
