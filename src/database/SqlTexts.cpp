#include "database/SqlTexts.h"

#include "common/Strings.h"

std::string QuoteName(std::string_view name) { return "[" + ReplaceAll(name, "]", "]]") + "]"; }

// The catalog's own spelling of its columns: on a server whose collation is case-sensitive,
// "Name" is no column of sysdatabases (207).
std::string DatabaseListQuery() { return "SELECT name From sysdatabases Where dbid>4 ORDER BY name"; }

std::string TableListQuery(std::string_view database) {
    return "SELECT name From " + QuoteName(database) + ".[dbo].[sysobjects] " +
           "WHERE type = 'U' Order By name";
}

std::string SwitchCommand(std::string_view database) { return "USE " + QuoteName(database); }

std::string StampCommand(std::string_view database, std::string_view programVersion,
                         std::string_view table) {
    // The version is digits and dots; doubling a quote only guards against a text it never is.
    return "Update " + QuoteName(database) + ".[dbo]." + QuoteName(table) + " Set Verzija = '" +
           ReplaceAll(programVersion, "'", "''") + "'";
}

std::string TranCountQuery() { return "SELECT @@TRANCOUNT AS TranCount"; }

std::string RollbackCommand() { return "ROLLBACK TRANSACTION"; }

std::string DatabaseStatesQuery() {
    // sys.databases is visible to every login (VIEW ANY DATABASE is granted to public), and the
    // permissions are evaluated as the login's user in each database, so a db_owner passes. The
    // CASE keeps HAS_PERMS_BY_NAME away from databases it would have to open and cannot.
    // HAS_PERMS_BY_NAME takes the database as a one-part name: QUOTENAME makes "Tarvik.2023"
    // one, where the bare name would give NULL.
    return "SELECT name AS Name, state_desc AS State, CAST(is_read_only AS int) AS ReadOnly, "
           "user_access_desc AS Access, collation_name AS Collation, "
           "CAST(COLLATIONPROPERTY(collation_name, 'CodePage') AS int) AS CodePage, "
           "CASE WHEN state_desc = 'ONLINE' AND user_access_desc = 'MULTI_USER' THEN "
           "CASE WHEN HAS_PERMS_BY_NAME(QUOTENAME(name), 'DATABASE', 'CREATE TABLE') = 1 "
           "AND HAS_PERMS_BY_NAME(QUOTENAME(name), 'DATABASE', 'ALTER') = 1 "
           "AND HAS_PERMS_BY_NAME(QUOTENAME(name), 'DATABASE', 'INSERT') = 1 "
           "AND HAS_PERMS_BY_NAME(QUOTENAME(name), 'DATABASE', 'UPDATE') = 1 "
           "AND HAS_PERMS_BY_NAME(QUOTENAME(name), 'DATABASE', 'DELETE') = 1 THEN 1 ELSE 0 END END "
           "AS Writable FROM sys.databases WHERE database_id > 4 ORDER BY name";
}
