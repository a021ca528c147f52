#pragma once

#include <string>
#include <vector>

// Which ODBC driver reaches SQL Server on a Windows machine. Stores have whatever their
// Windows brought or an SQL Server installation added; the newest Microsoft driver is best,
// and "SQL Server" (the old driver every Windows has) is the last resort.
inline constexpr const char* kSqlServerDriversBestFirst[] = {
    "ODBC Driver 18 for SQL Server",
    "ODBC Driver 17 for SQL Server",
    "SQL Server Native Client 11.0",
    "SQL Server",
};

// The best of kSqlServerDriversBestFirst among the installed drivers (names compared ignoring
// letter case), or "SQL Server" when none of them is listed.
std::string BestSqlServerDriver(const std::vector<std::string>& installed);

// The names of the drivers the driver manager knows (SQLDrivers); empty when it cannot tell.
std::vector<std::string> InstalledOdbcDrivers();

// VELMORA_ODBC_DRIVER when it is set and not empty, otherwise the best installed driver.
std::string ChooseOdbcDriver();
