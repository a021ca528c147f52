#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "database/Konekcija.h"

// The databases of the program on the server: those with an id above 4 that hold a user table
// named BLAG_DNEV (letter case ignored), in the order the server lists them (by name). Each name
// found is added to the text of LblPozor as it is found. Raises AppError on any failure of the
// server (a database that cannot be read ends the discovery) and 6 for a count above 32,767.
std::vector<std::string> FindTargetDatabases(DatabaseSession& session);

// A row count as the 16-bit count the discovery keeps; raises AppError 6 "Overflow" above 32,767.
std::int16_t Count16(std::int64_t count);
