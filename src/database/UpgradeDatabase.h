#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "database/BatchSplitter.h"
#include "database/Konekcija.h"

// What went wrong in the lenient part of the run, for the run log and the closing message.
struct FailedBatch {
    std::string database;
    int batchNumber = 0;  // from 1, in script order
    std::string firstLine;
    std::int32_t errorNumber = 0;
    std::string errorText;
    bool timedOut = false;  // cut at the command time-out
    // It could not be read to its end: its statements after the failing one may not have run.
    bool cutShort = false;
};

// A database whose script left a transaction open: it was rolled back, so the work of the
// script's batches inside it is undone, and the database is not stamped.
struct RolledBack {
    std::string database;
    int batchNumber = 0;  // the failed batch after which it was found; 0: at the script's end
};

// A target whose collation keeps text without N in a code page that loses Croatian letters.
struct OtherCodePage {
    std::string database;
    std::string collation;
    int codePage = 0;
};

struct RunResult {
    std::vector<FailedBatch> failedBatches;
    std::vector<std::string> skippedDatabases;  // the switch into them failed
    // The stamp failed for another reason than a missing table Verzija (a lost connection, a
    // deadlock, a time-out): the database still carries the old version, and the run says so.
    std::vector<std::string> unstampedDatabases;
    std::vector<RolledBack> rolledBack;
    std::vector<OtherCodePage> otherCodePages;
    int withoutVerzija = 0;  // logged only: a database without the table Verzija has no version
    bool Clean() const {
        return failedBatches.empty() && skippedDatabases.empty() && unstampedDatabases.empty() &&
               rolledBack.empty() && otherCodePages.empty();
    }
};

// SQL Server's "Invalid object name": the one stamp failure that is expected, from a database
// that keeps no version.
inline constexpr std::int32_t kInvalidObjectName = 208;

// Runs the script in one target database: the switch, each batch, the version stamp. Never
// raises for a failing command: a failed batch is recorded and the next one runs; a failed
// switch skips the database (no batch and no stamp may run in whatever database the connection
// is in); a failed stamp is logged, and recorded unless the table Verzija is missing. After a
// failed batch and at the end of the script the connection is asked for an open transaction:
// one that is open is rolled back (else every later batch, switch and stamp would run inside it
// and be undone when the connection closes), and the database is recorded and not stamped. An empty
// batch is counted as run without reaching the driver, which refuses empty text. The window updates (LblBaza, LblTablica) come first and may
// raise: the caller decides whether that ends the run.
void ShowDatabaseStarted(DatabaseSession& session, const std::string& database);
// The same updates where failures are passed over: each one that fails is logged and the next
// still runs, so a later database still gets its colons when its name could not be shown.
void ShowDatabaseStartedLeniently(DatabaseSession& session, const std::string& database);
void UpgradeDatabase(DatabaseSession& session, const std::string& database, const SplitScript& script,
                     const std::string& programVersion, RunResult& result,
                     const std::string& verzijaTable = "Verzija");

// The first line of a batch that holds more than blanks, trimmed and cut to 80 characters,
// to name the batch in the run log.
std::string FirstLineOf(const std::string& batch);
