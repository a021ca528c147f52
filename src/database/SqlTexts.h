#pragma once

#include <string>
#include <string_view>

// The statements the database phase sends. Every database name stands between brackets with
// each "]" doubled, so that a name holding "]" neither breaks the statement nor adds SQL to it.
std::string QuoteName(std::string_view name);

// The user databases (ids 1 to 4 are the system's), ascending by name in the server's collation.
std::string DatabaseListQuery();
// The user tables of one database, addressed by its fully qualified catalog view.
std::string TableListQuery(std::string_view database);
std::string SwitchCommand(std::string_view database);
// Sets the version in every row of the database's table Verzija.
std::string StampCommand(std::string_view database, std::string_view programVersion);
