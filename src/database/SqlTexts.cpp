#include "database/SqlTexts.h"

#include "common/Strings.h"

std::string QuoteName(std::string_view name) { return "[" + ReplaceAll(name, "]", "]]") + "]"; }

std::string DatabaseListQuery() { return "SELECT Name From sysdatabases Where dbid>4 ORDER BY Name"; }

std::string TableListQuery(std::string_view database) {
    return "SELECT name From " + QuoteName(database) + ".[dbo].[sysobjects] " +
           "WHERE type = 'U' Order By name";
}

std::string SwitchCommand(std::string_view database) { return "USE " + QuoteName(database); }

std::string StampCommand(std::string_view database, std::string_view programVersion) {
    // The version is digits and dots; doubling a quote only guards against a text it never is.
    return "Update " + QuoteName(database) + ".[dbo].[Verzija] Set Verzija = '" +
           ReplaceAll(programVersion, "'", "''") + "'";
}
