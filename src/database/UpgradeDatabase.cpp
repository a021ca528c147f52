#include "database/UpgradeDatabase.h"

#include <cstdlib>
#include <functional>
#include <optional>
#include <vector>

#include "common/Strings.h"
#include "database/DatabaseTexts.h"
#include "database/SqlTexts.h"

namespace {

constexpr std::size_t kFirstLineLength = 80;

std::string Describe(const AppError& e) { return std::to_string(e.number()) + " / " + e.description(); }

// Runs one command; a failure comes back as the error instead of being raised.
std::optional<AppError> TryExecute(DatabaseSession& s, const std::string& sql) {
    try {
        if (!s.dbConnection)
            throw AppError(DatabaseError::kConnectionClosed, "Upgrade", DatabaseError::kConnectionClosedText);
        s.dbConnection->Execute(sql);
        return std::nullopt;
    } catch (const AppError& e) {
        return e;
    }
}

}  // namespace

std::string FirstLineOf(const std::string& batch) {
    std::size_t start = 0;
    while (start < batch.size()) {
        std::size_t end = batch.find_first_of("\r\n", start);
        if (end == std::string::npos) end = batch.size();
        std::string line = TrimBlanks(batch.substr(start, end - start));
        if (line.find_first_not_of('\t') != std::string::npos) {
            if (line.size() > kFirstLineLength) line = line.substr(0, kFirstLineLength) + "...";
            return line;
        }
        start = end + 1;
    }
    return "(prazno)";
}

namespace {

// The window updates that start a database, one step each, in order.
std::vector<std::function<void()>> DatabaseStartSteps(DatabaseSession& s, const std::string& database) {
    return {
        [&s, &database] { s.view.SetText(Control::LblBaza, database); },
        [&s] {
            s.view.SetText(Control::LblTablica,
                           s.view.Text(Control::LblTablica) + database_text::kColonStep);
        },
        [&s] { s.view.Refresh(Control::LblTablica); },
    };
}

}  // namespace

void ShowDatabaseStarted(DatabaseSession& s, const std::string& database) {
    for (const auto& step : DatabaseStartSteps(s, database)) step();
}

void ShowDatabaseStartedLeniently(DatabaseSession& s, const std::string& database) {
    for (const auto& step : DatabaseStartSteps(s, database)) {
        try {
            step();
        } catch (const AppError& e) {
            // The run is past its first database: a window that cannot show the progress must
            // not stop the upgrade, so the failure goes to the run log and the next step runs.
            s.log.Write("database", "window update for " + database + " failed: " + Describe(e));
        }
    }
}

namespace {

std::string BatchName(const std::string& database, int number) {
    return number == 0 ? database + ", at the end of its script" : database + ", batch " + std::to_string(number);
}

// Asks for an open transaction and rolls it back. True when one was open: the work of the
// script's batches inside it is undone.
bool RolledBackOpenTransaction(DatabaseSession& s, const std::string& database, int number) {
    std::int64_t open = 0;
    try {
        if (!s.dbConnection) return false;
        auto rows = s.dbConnection->OpenRecordset(TranCountQuery());
        if (rows->RecordCount() > 0) open = std::atoll(rows->Field("TranCount").c_str());
        rows->Close();
    } catch (const AppError& e) {
        // A connection that cannot answer has lost its transaction with it (the server rolls
        // back what a session leaves open); the stamp that follows finds the connection's state.
        s.log.Write("database", BatchName(database, number) + ": @@TRANCOUNT could not be read: " + Describe(e));
        return false;
    }
    if (open <= 0) return false;
    const auto failed = TryExecute(s, RollbackCommand());
    s.log.Write("transaction", BatchName(database, number) + " left a transaction open (@@TRANCOUNT " +
                                   std::to_string(open) + "): " +
                                   (failed ? "rolling it back failed: " + Describe(*failed)
                                           : std::string("rolled back, the script's work in it is undone")));
    return true;
}

void RecordFailedBatch(DatabaseSession& s, FailedBatch failed, RunResult& result) {
    s.log.Write("batch failed", BatchName(failed.database, failed.batchNumber) + " (" + failed.firstLine +
                                    "): " + std::to_string(failed.errorNumber) + " / " + failed.errorText);
    if (failed.timedOut) {
        s.log.Write("batch failed", BatchName(failed.database, failed.batchNumber) +
                                        " was cut at the command time-out: its later statements did not run");
    } else if (failed.cutShort) {
        s.log.Write("batch failed", BatchName(failed.database, failed.batchNumber) +
                                        " could not be read to its end: its later statements may not have run");
    }
    result.failedBatches.push_back(std::move(failed));
}

}  // namespace

void UpgradeDatabase(DatabaseSession& s, const std::string& database, const SplitScript& script,
                     const std::string& programVersion, RunResult& result, const std::string& verzijaTable) {
    s.log.Write("database", "upgrading " + database);
    if (const auto e = TryExecute(s, SwitchCommand(database))) {
        s.log.Write("database", "skipped " + database + ": the switch into it failed: " + Describe(*e));
        result.skippedDatabases.push_back(database);
        return;
    }
    int number = 0;
    // The first batch that left a transaction open, for the warning. Every later one is looked
    // for as well: a transaction a later batch opens would otherwise carry on into the next
    // database and be undone with everything in it when the connection closes.
    std::optional<int> rolledBackAt;
    const auto rollBackOpenTransaction = [&](int at) {
        if (RolledBackOpenTransaction(s, database, at) && !rolledBackAt) rolledBackAt = at;
    };
    for (const std::string& batch : script.batches) {
        ++number;
        // SQL Server runs an empty batch as nothing at all; the driver would refuse it (HY090).
        if (batch.empty()) continue;
        if (const auto e = TryExecute(s, batch)) {
            const bool cutShort = s.dbConnection && s.dbConnection->LastCommandCutShort();
            RecordFailedBatch(s, {database, number, FirstLineOf(batch), e->number(), e->description(),
                                  e->number() == DatabaseError::kTimeout, cutShort},
                              result);
            rollBackOpenTransaction(number);
        }
    }
    rollBackOpenTransaction(0);
    if (rolledBackAt) {
        result.rolledBack.push_back({database, *rolledBackAt});
        s.log.Write("database", database + " not stamped: work of its script was rolled back; it keeps the old version");
        return;
    }
    if (const auto e = TryExecute(s, StampCommand(database, programVersion, verzijaTable))) {
        if (e->number() == kInvalidObjectName) {
            s.log.Write("database", "stamp of " + database + " failed: " + Describe(*e) +
                                        " (no table Verzija: the database keeps no version)");
            ++result.withoutVerzija;
        } else {
            s.log.Write("database", "stamp of " + database + " failed: " + Describe(*e) +
                                        "; it still carries the old version");
            result.unstampedDatabases.push_back(database);
        }
        return;
    }
    s.log.Write("database", "stamped " + database + " with " + programVersion);
}
