#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "database/Konekcija.h"
#include "database/PreFlight.h"

struct Discovery {
    std::vector<std::string> targets;
    std::vector<DatabaseState> states;  // every user database, for the pre-flight
    // Databases held by another session's single user (924): not examined, named by the
    // pre-flight, since each may be one of the program's.
    std::vector<std::string> unenterable;
    // The version table of each target that has one, spelled as the database spells it.
    std::map<std::string, std::string> verzijaTables;
};

// SQL Server's "Database ... is already open and can only have one user at a time".
inline constexpr std::int32_t kDatabaseInUse = 924;

// The databases of the program on the server: those with an id above 4 that hold a user table
// named BLAG_DNEV (letter case ignored), in the order the server lists them (by name). Each name
// found is added to the text of LblPozor as it is found. A database that is not ONLINE is not
// opened, nor is one that answers 924 (the pre-flight names both); any other failure of the
// server raises AppError, and a count above 32,767 raises 6.
Discovery FindTargetDatabases(DatabaseSession& session);

// A row count as the 16-bit count the discovery keeps; raises AppError 6 "Overflow" above 32,767.
std::int16_t Count16(std::int64_t count);
