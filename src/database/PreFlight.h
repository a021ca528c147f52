#pragma once

#include <optional>
#include <string>
#include <vector>

#include "database/Konekcija.h"

// The pre-flight: before the first database is changed, every target must be able to take the
// whole script, so that a run never ends with some databases upgraded and others not because one
// of them was offline, read-only, held by a single user or closed to the login's changes.

// One user database as the server describes it (see DatabaseStatesQuery).
struct DatabaseState {
    std::string name;
    std::string state;  // state_desc: ONLINE, OFFLINE, RESTORING, RECOVERING, SUSPECT, EMERGENCY...
    bool readOnly = false;
    std::string access;            // user_access_desc: MULTI_USER, SINGLE_USER, RESTRICTED_USER
    std::optional<bool> writable;  // none where the permissions were not asked
    std::string collation{};       // collation_name; empty for a database that is not online
    std::optional<int> codePage{};  // the code page of its non-Unicode text
};

struct PreFlightFailure {
    std::string database;
    std::vector<std::string> reasons;  // in Croatian, for the box and the run log
};

// The states of all user databases, in the server's name order. Raises AppError like any query.
std::vector<DatabaseState> ReadDatabaseStates(DatabaseSession& session);

// Whether discovery can read the database's tables at all: only an ONLINE one can be opened.
bool CanBeExamined(const DatabaseState& state);

// The databases that stop the run, in the server's name order: each target that is not ONLINE,
// is read-only, is not MULTI_USER or is not writable by the login (or has no state row), and each
// database that could not be examined (not online, or held by another session's single user:
// `unenterable`), since it may be one of the program's. Empty: all is well.
std::vector<PreFlightFailure> CheckPreFlight(const std::vector<std::string>& targets,
                                             const std::vector<DatabaseState>& states,
                                             const std::vector<std::string>& unenterable = {});

// The code pages in which a text literal without N keeps the Croatian letters: Windows-1250,
// and UTF-8 (a collation ending in _UTF8), which keeps every letter.
bool KeepsCroatianLetters(const DatabaseState& state);

// The text of the box that ends a run stopped by the pre-flight.
std::string PreFlightReport(const std::vector<PreFlightFailure>& failures,
                            const std::string& logPath);
